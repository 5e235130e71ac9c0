#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (AddressSanitizer and UndefinedBehavior-
# Sanitizer) into build-fuzz/ and runs each for a while from its seed corpus.
#   bash scripts/fuzz.sh                 every harness, 10 seconds each
#   FUZZ_SECONDS=300 bash scripts/fuzz.sh title selection
# The harnesses run side by side, JOBS at a time. A crash fails the run; its input is kept in
# build-fuzz/crashes/ (rerun it with build-fuzz/fuzz/fuzz_<name> <file>) and becomes a regression
# test in tests/core.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH="${FUZZ_SECONDS:-10}"
JOBS="${JOBS:-3}"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPARLENDO_FUZZ=ON \
  -DPARLENDO_BUILD_APP=OFF -DPARLENDO_BUILD_TESTS=OFF -DPARLENDO_BUILD_BENCH=OFF >/dev/null
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for source in fuzz/*.cpp; do names+=("$(basename "$source" .cpp)"); done
fi
cmake --build build-fuzz -j "$JOBS" --target "${names[@]/#/fuzz_}"

mkdir -p build-fuzz/crashes
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# One harness: its status is left in $work/<name>.status, its output in $work/<name>.log.
run_one() {
  local name="$1" status=0
  # The run grows a copy of the seeds; the seeds in the repository stay as they are.
  mkdir -p "$work/$name"
  cp fuzz/corpus/"$name"/* "$work/$name"/ 2>/dev/null || true
  ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
    "build-fuzz/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -timeout=10 \
    -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/crashes/$name-" "$work/$name" >"$work/$name.log" 2>&1 ||
    status=$?
  echo "$status" >"$work/$name.status"
}
# The harnesses run side by side, $JOBS at a time; each reports in the order given.
running=0
for name in "${names[@]}"; do
  if [ "$running" -ge "$JOBS" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_one "$name" &
  running=$((running + 1))
done
wait
failed=0
for name in "${names[@]}"; do
  echo "== fuzz_$name (${SECONDS_EACH} s)"
  if [ "$(cat "$work/$name.status")" -ne 0 ]; then
    tail -n 60 "$work/$name.log" >&2
    echo "fuzz_$name failed; the input is in build-fuzz/crashes/" >&2
    failed=1
    continue
  fi
  grep -E '^(Done |stat::number_of_executed_units)' "$work/$name.log" || true
done
exit "$failed"
