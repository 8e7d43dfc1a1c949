#!/usr/bin/env bash
# Compares Debian's whois client with whois-lookup and the real window on loopback: the
# time of one referral hop and the wall time of a lookup through a registry and a registrar.
# Usage: scripts/bench-hops.sh [runs]   (as root or with sudo; default 50 runs)
# Everything runs in a private network and mount namespace: only loopback exists there, and
# its own hosts file names the two replaying servers, so nothing on the machine changes.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-50}"

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

if ! dpkg-query -W -f='${Status}' whois 2>/dev/null | grep -q '^install ok installed$'; then
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends whois
fi
bash scripts/setup.sh >/dev/null
cmake -S . -B build-hops -DCMAKE_BUILD_TYPE=Release -DWHOIS_BUILD_TESTS=OFF \
    -DWHOIS_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build-hops -j "$(nproc)" --target whois-lookup window_lookup_probe >/dev/null

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/hosts" <<'EOF'
127.0.0.1 localhost
127.0.0.1 com.whois-servers.net whois.verisign-grs.com
127.0.0.2 whois.markmonitor.com
EOF
# A name server that is not there refuses at once, so no client waits on DNS.
echo "nameserver 127.0.0.1" >"$scratch/resolv.conf"

$sudo unshare --net --mount --propagation private -- bash -c '
  set -euo pipefail
  ip link set lo up
  mount --bind "$1/hosts" /etc/hosts
  mount --bind "$1/resolv.conf" /etc/resolv.conf
  python3 scripts/bench-hops.py build-hops/src/cli/whois-lookup \
      build-hops/bench/startup/window_lookup_probe tests/data/whois-samples "$2"
' bench-hops "$scratch" "$runs"
