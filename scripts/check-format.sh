#!/usr/bin/env bash
# Fails when a C++ file differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=()
while IFS= read -r f; do
  [ -f "$f" ] && files+=("$f")
done < <(git ls-files -co --exclude-standard '*.cpp' '*.h' | grep -v '^build' | sort -u)
if [ ${#files[@]} -eq 0 ]; then exit 0; fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "check-format: run 'clang-format -i' on the files above" >&2
  exit 1
fi
echo "check-format: ok (${#files[@]} files)"
