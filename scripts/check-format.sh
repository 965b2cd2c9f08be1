#!/usr/bin/env bash
# Fails when a C++ file of the tree is not laid out as .clang-format says
# (the project's own style: Allman braces, four spaces, 100 columns).
# With --fix, lays the files out instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/check-format.$$; then
  grep -E '^[^ ].*: error:' /tmp/check-format.$$ | sed 's/: error:.*//' | sort -u | head -20 >&2
  rm -f /tmp/check-format.$$
  echo "format: files above differ from .clang-format; bash scripts/check-format.sh --fix lays them out" >&2
  exit 1
fi
rm -f /tmp/check-format.$$
echo "format: ${#files[@]} files as .clang-format says"
