#!/usr/bin/env bash
# Sets up, builds and runs every test: the fuzz targets for a bounded time, the tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the plain build with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)

echo "== build: plain (warnings are errors)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWHOIS_WERROR=ON -DWHOIS_BUILD_BENCHMARKS=ON \
    -DWHOIS_BUILD_APP=ON -DWHOIS_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$jobs"

echo "== build: AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWHOIS_SANITIZE=ON -DWHOIS_WERROR=ON \
    -DWHOIS_BUILD_APP=ON -DWHOIS_BUILD_TESTS=ON >/dev/null
cmake --build build-asan -j "$jobs"

echo "== fuzz"
bash scripts/fuzz.sh "${WHOIS_FUZZ_SECONDS:-30}"

echo "== tests: sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== tests: plain"
ctest --test-dir build --output-on-failure -j "$jobs"
