#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (AddressSanitizer and UndefinedBehavior-
# Sanitizer) into build-fuzz/ and runs each for a while from its seed corpus.
#   bash scripts/fuzz.sh                 every harness, 10 seconds each
#   FUZZ_SECONDS=300 bash scripts/fuzz.sh title selection
# A crash stops the run; its input is kept in build-fuzz/crashes/ (rerun it with
# build-fuzz/fuzz/fuzz_<name> <file>) and becomes a regression test in tests/core.
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
for name in "${names[@]}"; do
  echo "== fuzz_$name (${SECONDS_EACH} s)"
  # The run grows a copy of the seeds; the seeds in the repository stay as they are.
  mkdir -p "$work/$name"
  cp fuzz/corpus/"$name"/* "$work/$name"/ 2>/dev/null || true
  status=0
  ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
    "build-fuzz/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -timeout=10 \
    -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/crashes/$name-" "$work/$name" >"$work/$name.log" 2>&1 ||
    status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/$name.log" >&2
    echo "fuzz_$name failed; the input is in build-fuzz/crashes/" >&2
    exit 1
  fi
  grep -E '^(Done |stat::number_of_executed_units)' "$work/$name.log" || true
done
