#!/usr/bin/env bash
# Sets up, checks that no include points up or across the layers (the check tested first),
# builds and runs every test: unit tests in the default and the sanitizer build, the threaded
# unit tests under ThreadSanitizer, the end-to-end tests (network namespaces, root), and a
# short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
status=0
failed=()
step() { echo; echo "== $*"; }
# Runs one ctest preset with no input (ctest hands its own to every test); a failure is
# remembered by preset and test names, which the end of the run repeats, so that the last
# lines of a long log still say what failed.
run_tests() {
  local preset=$1
  shift
  if ! ctest --preset "$preset" "$@" </dev/null; then
    status=1
    local list=build/$preset/Testing/Temporary/LastTestsFailed.log
    failed+=("$preset: $( [ -f "$list" ] && cut -d: -f2- "$list" | tr '\n' ' ')")
  fi
}

step "layer includes"
python3 tests/scripts/check_layers_test.py || status=1
python3 scripts/check-layers.py || status=1

step "default build"
# A build folder that scripts/run.sh configured without tests gets them back.
cmake --preset default -DZOR17_BUILD_TESTS=ON -DZOR17_BUILD_BENCH=ON >/dev/null
cmake --build --preset default -j "$jobs"
step "unit and end-to-end tests"
run_tests default -L 'unit|e2e'

step "sanitizer build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests asan -L unit

step "thread sanitizer build (the threaded test programs only)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
step "threaded unit tests under ThreadSanitizer"
run_tests tsan

step "fuzz build"
cmake --preset fuzz -DFUZZ_SECONDS="${FUZZ_SECONDS:-20}" >/dev/null
cmake --build --preset fuzz -j "$jobs"
step "fuzz smoke run"
run_tests fuzz -L fuzz

if [ ${#failed[@]} -gt 0 ]; then
  step "failed tests"
  printf '%s\n' "${failed[@]}"
fi
exit $status
