#!/usr/bin/env bash
# Sets up the machine, builds Parlendo and starts it on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPARLENDO_BUILD_TESTS=OFF \
  -DPARLENDO_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target parlendo
exec ./build/parlendo "$@"
