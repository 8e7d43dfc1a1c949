#!/usr/bin/env bash
# Measures start-up time to the first shown window and peak memory under Xvfb, for the real
# program and for a minimal Qt window. Usage: scripts/bench-startup.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
cmake -S . -B build-startup -DCMAKE_BUILD_TYPE=Release -DWHOIS_BUILD_TESTS=OFF \
    -DWHOIS_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-startup -j "$(nproc)" --target startup_probe minimal_window_probe >/dev/null
xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
    python3 scripts/bench-startup.py build-startup/bench/startup/startup_probe \
    build-startup/bench/startup/minimal_window_probe "${1:-20}"
