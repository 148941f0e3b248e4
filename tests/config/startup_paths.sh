#!/usr/bin/env bash
# The directories start-up takes from the configuration, through the real executable: a
# relative WORKPATH is taken from the start-up directory (not the configuration file's), and a
# KTSERVER directory that does not exist ends start-up with status 99 and the registry's own
# message first.
# Usage: startup_paths.sh VELTRIX
set -uo pipefail
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
fail=0
check() {  # check WHAT EXPECTED GOT
  if [ "$2" != "$3" ]; then echo "$1: expected [$2], got [$3]"; fail=1; fi
}
workfile() { printf 'STATUS FILES\n' | "$exe" "$@" 2>&1 | sed -n 's/^Workfile path: //p'; }

mkdir -p start/work etc
printf 'WORKPATH work\n' > etc/relative.sys
printf 'WORKPATH ./gone/../work ! a comment\n' > etc/dotted.sys
printf 'WORKPATH %s/etc\n' "$work" > etc/absolute.sys
cd start || exit 2
check "relative" "$work/start/work/" "$(workfile -../etc/relative.sys)"
check "dots resolved" "$work/start/work/" "$(workfile -../etc/dotted.sys)"
check "absolute" "$work/etc/" "$(workfile -../etc/absolute.sys)"
check "none" "$work/start/" "$(workfile)"
cd "$work" || exit 2

printf 'KTSERVER %s/missing\n' "$work" > missing.sys
out=$(printf 'PRINT "STARTED"\n' | "$exe" -missing.sys 2>err.txt)
check "missing registry directory: status" "99" "$?"
check "missing registry directory: nothing run" "" "$out"
check "missing registry directory: first message" \
  "Couldn't open ktserver at PATH=$work/missing/ktserver.dat. " \
  "$(grep -m1 -o "Couldn't open.*" err.txt)"
grep -q "Please check if it exists and current user has write permission." err.txt ||
  { echo "no advice in: $(cat err.txt)"; fail=1; }
[ -e missing ] && { echo "the missing directory was made"; fail=1; }

exit $fail
