#!/usr/bin/env bash
# Every C and C++ source of the repository is formatted by the repository's
# .clang-format. Skipped (exit 77) without clang-format or outside a git
# checkout.
set -uo pipefail
cd "$1" || exit 1
command -v clang-format >/dev/null 2>&1 || { echo "clang-format not installed"; exit 77; }
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "not a git checkout"; exit 77; }
bad=0
while IFS= read -r f; do
  [ -f "$f" ] || continue
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f"
    bad=1
  fi
done < <(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
[ $bad -eq 0 ] && echo "format: every source is clang-formatted"
exit $bad
