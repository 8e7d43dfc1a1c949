#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (seconds, default
# 30). A crash, a sanitizer report or a broken property fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWHOIS_BUILD_APP=OFF -DWHOIS_BUILD_TESTS=OFF -DWHOIS_BUILD_FUZZERS=ON -DWHOIS_WERROR=ON \
    "-DCMAKE_CXX_FLAGS=$sanitizers" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
    >/dev/null
cmake --build build-fuzz -j "$(nproc)"

status=0
for fuzzer in build-fuzz/fuzz/*_fuzzer; do
    name=$(basename "$fuzzer")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
    log=build-fuzz/$name.log
    if "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -artifact_prefix=build-fuzz/ "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        echo "fuzz: $name: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1)"
    else
        echo "fuzz: $name FAILED; the end of its log:"
        tail -n 60 "$log"
        status=1
    fi
done
exit $status
