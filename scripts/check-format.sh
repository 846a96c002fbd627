#!/usr/bin/env bash
# Fails when a C++ file of the tree is not as clang-format (with the
# checked-in .clang-format) would write it, or holds a line over the column
# limit (clang-format leaves raw strings and long literals alone). Fix with
#   clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi

limit=$(sed -n 's/^ColumnLimit: *//p' .clang-format)
failed=0
if ! clang-format --dry-run --Werror "${files[@]}"; then
  failed=1
fi
if awk -v limit="$limit" 'length($0) > limit { printf "%s:%d: line of %d columns, over the limit of %d\n", FILENAME, FNR, length($0), limit; bad = 1 } END { exit bad }' "${files[@]}"; then
  :
else
  failed=1
fi
if [ "$failed" -ne 0 ]; then
  echo "check-format: the files above are not formatted; run clang-format -i on them and break long literals" >&2
  exit 1
fi
