#!/usr/bin/env bash
# Sets up and builds the two programs, nothing of the tests, and starts the configuration
# program (the backend lands beside it). Started through sudo, the program runs as the user
# who called sudo, and the build folder, its working files included, becomes that user's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --program

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# Without the test packages the build leaves the tests out; where scripts/test.sh has installed
# them, the build folder keeps its tests.
tests=OFF
if installed libgtest-dev && installed libgmock-dev && installed libbenchmark-dev; then
  tests=ON
fi
# The presets treat warnings as errors, for the tests to keep the code free of them; the user's
# build must not fail on a warning that a newer compiler adds.
cmake --preset default -DZOR17_BUILD_TESTS=$tests -DZOR17_BUILD_BENCH=$tests \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=OFF >/dev/null
cmake --build --preset default -j "$(nproc)" --target ZOR17-RS485 ZOR17

bin=build/default/bin
user=${SUDO_USER:-}
if [ "$(id -u)" -eq 0 ] && [ -n "$user" ] && [ "$user" != root ]; then
  # The program writes its users, settings and jobs beside itself (tmp/, data/, bacnet.ini),
  # and the user builds in the same folder later (a test, a change).
  mkdir -p "$bin/tmp" "$bin/data"
  chown -R "$user:" build
  exec runuser -u "$user" -- "$bin/ZOR17-RS485" "$@"
fi
exec "$bin/ZOR17-RS485" "$@"
