#!/usr/bin/env bash
# The help file in the build and the committed docs/errors.md are what vxhelpgen makes now from
# the documentation and the tables, and every command of the command table has its help text.
# Usage: help_current.sh VXHELPGEN SOURCE-DIRECTORY BUILT-HELP-FILE
set -uo pipefail
gen=$1
src=$2
built=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$gen" --source "$src" --help "$work/ktcmd.kth" --errors "$work/errors.md" --check ||
  { echo "vxhelpgen failed (a command without help text is named above)"; exit 1; }
fail=0
if ! cmp -s "$work/errors.md" "$src/docs/errors.md"; then
  echo "docs/errors.md differs from the error table: cmake --build <build> --target errors_md"
  diff -u --label committed --label table "$src/docs/errors.md" "$work/errors.md" | head -40
  fail=1
fi
if ! cmp -s "$work/ktcmd.kth" "$built"; then
  echo "$built differs from what vxhelpgen makes now: build the target helpfile"
  fail=1
fi
# Made twice, the file is the same: nothing in it depends on the time or the machine.
"$gen" --source "$src" --help "$work/again.kth" && cmp -s "$work/ktcmd.kth" "$work/again.kth" ||
  { echo "two makings of the help file differ"; fail=1; }
exit $fail
