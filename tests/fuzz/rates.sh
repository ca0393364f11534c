#!/bin/bash
# Runs every fuzz target of a fuzz build for a while on a copy of its corpus (the corpus in
# git stays as it is) and prints one "target exec/s" line per target, in name order.
#
#   tests/fuzz/rates.sh [-s seconds] [-j parallel] <build folder> [target ...]
#
# Targets run `parallel` at a time (default 2), so that each has a core of its own; the rate is
# libFuzzer's own average over the run.
set -euo pipefail

seconds=60
parallel=2
while getopts "s:j:" option; do
  case $option in
    s) seconds=$OPTARG ;;
    j) parallel=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[[ $# -ge 1 ]] || { echo "usage: $0 [-s seconds] [-j parallel] <build folder> [target ...]" >&2; exit 2; }

build=$(realpath "$1")
shift
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
[[ -n $source_dir ]] || { echo "$build: no CMakeCache.txt" >&2; exit 2; }

if [[ $# -gt 0 ]]; then
  targets=("$@")
else
  mapfile -t targets < <(find "$build/bin" -maxdepth 1 -name '*_fuzz' -type f -executable -printf '%f\n' | sort)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_one() {
  local target=$1
  mkdir -p "$work/$target"
  cp -r "$source_dir/tests/fuzz/corpus/$target/." "$work/$target/" 2>/dev/null || true
  (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$build/bin/$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 "$work/$target" >"$work/$target.log" 2>&1) || true
  local rate
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$target.log")
  echo "$target ${rate:-failed}" >"$work/$target.rate"
}

running=0
for target in "${targets[@]}"; do
  if ((running >= parallel)); then
    wait -n
    running=$((running - 1))
  fi
  run_one "$target" &
  running=$((running + 1))
done
wait

for target in "${targets[@]}"; do
  cat "$work/$target.rate"
done
