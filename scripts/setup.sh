#!/usr/bin/env bash
# Installs every Debian package the build, the program, the tests, the fuzzer
# and the screenshot need. Skips what is already installed.
set -euo pipefail

packages=(
  cmake g++ make pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-wayland libgl-dev
  libicu-dev libpcre2-dev libpsl-dev publicsuffix libidn2-dev
  libcurl4-openssl-dev nlohmann-json3-dev libssl-dev openssl ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  fonts-wqy-zenhei xvfb xauth imagemagick python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
