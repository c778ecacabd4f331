#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one in turn.
#   scripts/fuzz.sh [SECONDS]   fuzz each target for SECONDS (default 60)
#   scripts/fuzz.sh --runs N    run the committed corpus, then N executions per target
# New inputs go to build-fuzz/corpus/<target>; the seeds and the regression
# inputs of fuzz/corpus/<target> are read every time. A crash leaves its input
# in build-fuzz/crashes/; every target runs all the same, and the script fails
# at the end naming the targets that crashed.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time="${1:-60}")
if [ "${1:-}" = "--runs" ]; then
  limit=(-runs="${2:?--runs needs a count}")
fi

build=build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DBQ_BUILD_FUZZ=ON -DBQ_BUILD_GUI=OFF -DBQ_BUILD_TESTS=OFF -DBQ_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target fuzz_all

mkdir -p "$build/crashes"
failed=()
for seeds in fuzz/corpus/*/; do
  target=$(basename "$seeds")
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/fuzz_$target.log"
  echo "== fuzz_$target ${limit[*]}"
  rc=0
  "$build/bin/fuzz_$target" "${limit[@]}" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$target-" "$work" "$seeds" >"$log" 2>&1 || rc=$?
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::number_of_executed_units' "$log" || true
  if [ "$rc" -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzz_$target failed; its input is in $build/crashes/" >&2
    failed+=("fuzz_$target")
  fi
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "crashed: ${failed[*]}" >&2
  exit 1
fi
