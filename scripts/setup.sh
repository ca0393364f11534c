#!/usr/bin/env bash
# Installs the Debian and npm packages. With --program only what building and running the two
# programs needs (scripts/run.sh); without it also everything the tests need (scripts/test.sh).
# Quick when everything is there already: apt-get runs only for missing packages.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

program_packages=(
  build-essential g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev qt6-translations-l10n libgl-dev
  libpcap-dev libiberty-dev util-linux
)
test_packages=(
  git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev llvm
  tshark socat python3 python3-pymodbus python3-serial python3-serial-asyncio
  iproute2 xvfb xauth
)

packages=("${program_packages[@]}")
with_tests=1
if [ "${1:-}" = "--program" ]; then
  with_tests=0
else
  packages+=("${test_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ $with_tests -eq 1 ]; then
  # Node.js comes with the machine; take Debian's only where it is missing.
  command -v node >/dev/null 2>&1 || missing+=(nodejs)
  command -v npm >/dev/null 2>&1 || missing+=(npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  if [ $with_tests -eq 1 ]; then
    echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo_cmd debconf-set-selections
  fi
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ $with_tests -eq 1 ] && [ ! -d "$here/tests/node_modules/@bacnet-js/client" ]; then
  (cd "$here/tests" && npm ci --no-audit --no-fund --loglevel=error)
fi
