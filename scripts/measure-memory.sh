#!/usr/bin/env bash
# Measures what the program costs while it idles, side by side with goldendict and a bare GTK
# program with a status icon, on one private desktop (the disabled MemoryFigures scenarios):
# the resident (RSS) and proportional (PSS) memory of every process after a minute of idling,
# signed out, signed in, with an AI popup on, and after the manage window showed a word book of
# 20,000 sources and 200,000 words and was closed. The table is left in
# <build>/tests/output/e2e/memory.tsv.
#   PARLENDO_MEMORY_IDLE_SECONDS=60   the idle time of each case
#   MEASURE_BUILD_DIR=build           measure an existing build tree as it is (by default a
#                                     Release tree is built in build-release/)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only for this measurement: the dictionary it is compared with.
if ! command -v goldendict >/dev/null 2>&1; then
  apt-get install -y --no-install-recommends goldendict
fi
build="${MEASURE_BUILD_DIR:-}"
if [ -z "$build" ]; then
  build=build-release
  export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPARLENDO_BUILD_CORE_TESTS=OFF -DPARLENDO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j "${JOBS:-4}" --target e2e_tests
fi
rm -f "$build/tests/output/e2e/memory.tsv"
bash scripts/with-session.sh "$build/tests/e2e_tests" --gtest_also_run_disabled_tests \
  --gtest_filter='MemoryFigures.*' --gtest_brief=1
column -t -s $'\t' "$build/tests/output/e2e/memory.tsv"
