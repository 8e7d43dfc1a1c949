#!/usr/bin/env bash
# Makes docs/screenshot.png: the real window under Xvfb after a real lookup against local
# whois servers that replay a registry's and a registrar's real answers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target window_screenshot
mkdir -p docs
xvfb-run -a -s "-screen 0 800x600x24" \
    env QT_QPA_PLATFORM=xcb build/tests/app/window_screenshot tests/data/whois-samples \
    docs/screenshot.png
echo "wrote docs/screenshot.png"
