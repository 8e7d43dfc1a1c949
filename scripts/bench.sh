#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them:
#  - referral_benchmark: decoding plus referral search on the recorded answers and on
#    synthetic answers of 64 KiB, 1 MiB and 4 MiB;
#  - lookup_bench: over loopback, the time from a referring answer's last byte to the
#    follow-up request at the referral server, and memory and descriptors over many lookups;
#  - rdap_text_benchmark: an RDAP answer rendered as whois-style text, the recorded Verisign
#    answer and one grown to 1 MiB;
#  - rdap_fallback_bench: a domain whose port-43 server drops connection attempts, from the
#    query to the RDAP record on display, and the next lookup that goes to RDAP first.
# Extra arguments go to every program but the last (for example --benchmark_repetitions=5).
# Start-up time and memory of the window: scripts/bench-startup.sh. The side-by-side
# comparison with Debian's whois client: scripts/bench-hops.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
# The tests' loopback HTTPS server and certificate authority serve the RDAP fallback benchmark;
# only the targets named here are built.
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DWHOIS_BUILD_APP=OFF -DWHOIS_BUILD_TESTS=ON \
    -DWHOIS_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-bench -j "$(nproc)" --target referral_benchmark lookup_bench \
    rdap_text_benchmark rdap_fallback_bench >/dev/null
build-bench/bench/referral_benchmark "$@"
build-bench/bench/lookup/lookup_bench "$@"
build-bench/bench/rdap_text_benchmark "$@"
build-bench/bench/lookup/rdap_fallback_bench
