#!/usr/bin/env bash
# Measures start-up time to the first shown window and peak memory under Xvfb, for the real
# program and for a minimal Qt window. Usage: scripts/bench-startup.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DWHOIS_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-release -j "$(nproc)" --target startup_probe minimal_window_probe
xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
    python3 scripts/bench-startup.py build-release/bench/startup/startup_probe \
    build-release/bench/startup/minimal_window_probe "${1:-20}"
