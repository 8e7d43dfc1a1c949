#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them: decoding plus referral search on the
# recorded answers and on synthetic answers of 64 KiB, 1 MiB and 4 MiB. Extra arguments go
# to the benchmark program (for example --benchmark_repetitions=5).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DWHOIS_BUILD_APP=OFF -DWHOIS_BUILD_TESTS=OFF \
    -DWHOIS_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-bench -j "$(nproc)" --target referral_benchmark >/dev/null
exec build-bench/bench/referral_benchmark "$@"
