#!/usr/bin/env bash
# Sets up, checks that no include points up or across the stack's layers, builds and runs
# every test: unit tests in the default and the sanitizer build, the threaded unit tests under
# ThreadSanitizer, the end-to-end tests (network namespaces, root), and a short run of every
# fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
status=0
step() { echo; echo "== $*"; }

step "layer includes"
python3 scripts/check-layers.py || status=1

step "default build"
# A build folder that scripts/run.sh configured without tests gets them back.
cmake --preset default -DZOR17_BUILD_TESTS=ON -DZOR17_BUILD_BENCH=ON >/dev/null
cmake --build --preset default -j "$jobs"
step "unit and end-to-end tests"
ctest --preset default -L 'unit|e2e' || status=1

step "sanitizer build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -L unit || status=1

step "thread sanitizer build (the threaded test programs only)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
step "threaded unit tests under ThreadSanitizer"
ctest --preset tsan || status=1

step "fuzz build"
cmake --preset fuzz -DFUZZ_SECONDS="${FUZZ_SECONDS:-20}" >/dev/null
cmake --build --preset fuzz -j "$jobs"
step "fuzz smoke run"
ctest --preset fuzz -L fuzz || status=1

exit $status
