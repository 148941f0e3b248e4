#!/usr/bin/env bash
# Copies of the real executable started in one directory share its workstation registry: a
# second copy on this machine is a second session of the same workstation (whatever number it
# asks for), a copy killed with SIGKILL frees its session at once, the last copy to end leaves
# the registry with no workstation marked, and WSID=UNIQUE gives each copy its own number.
# Usage: workstations.sh VELTRIX
set -uo pipefail
exe=$1
work=$(mktemp -d)
holder=
cleanup() {
  [ -n "$holder" ] && kill -9 "$holder" 2>/dev/null
  exec 3>&- 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 2
fail=0
check() {  # check WHAT EXPECTED GOT
  if [ "$2" != "$3" ]; then echo "$1: expected [$2], got [$3]"; fail=1; fi
}

# Copy A holds session 1 of workstation 1 while its input stays open.
mkfifo a.in
"$exe" < a.in > a.out 2> a.err &
holder=$!
exec 3> a.in
printf 'PRINT "A "; WSID$; SESSION$\n' >&3
for _ in $(seq 100); do grep -q '^A ' a.out 2>/dev/null && break; sleep 0.05; done
check "first copy" "A 011" "$(cat a.out)"

# Copy B: the same workstation, the next session.
check "second copy" "B 012" "$(printf 'PRINT "B "; WSID$; SESSION$\n' | "$exe" 2>&1)"

# A copy that insists on workstation 1 with a session of its own is refused only when another
# machine holds it; on this machine it joins as a further session.
check "requested 1" "C 012" "$(printf 'PRINT "C "; WSID$; SESSION$\n' | "$exe" -1 2>&1)"

# While another session of this workstation runs, a copy joins it whatever it asks for.
check "requested 5 beside a session" "D 012" "$(printf 'PRINT "D "; WSID$; SESSION$\n' | "$exe" -5 2>&1)"

# Killed, copy A frees session 1 at once.
kill -9 "$holder"; wait "$holder" 2>/dev/null; holder=
exec 3>&-
check "after the kill" "E 011" "$(printf 'PRINT "E "; WSID$; SESSION$\n' | "$exe" 2>&1)"
check "requested 5 alone" "E 051" "$(printf 'PRINT "E "; WSID$; SESSION$\n' | "$exe" -5 2>&1)"

# The registry: one file of 65024 bytes, no workstation marked once every copy has ended.
check "registry size" "65024" "$(stat -c %s ktserver.dat)"
check "no workstation marked" "0" "$(dd if=ktserver.dat bs=1 skip=24 count=1000 2>/dev/null | tr -cd 'Xx' | wc -c)"

# A workstation number from the configuration, with WSID=UNIQUE: two copies get two numbers.
printf 'WSID 7+2\nWSID=UNIQUE\n' > unique.sys
mkfifo b.in
"$exe" -unique.sys < b.in > b.out 2> b.err &
holder=$!
exec 3> b.in
printf 'PRINT "F "; WSID$\n' >&3
for _ in $(seq 100); do grep -q '^F ' b.out 2>/dev/null && break; sleep 0.05; done
check "unique first" "F 07" "$(cat b.out)"
check "unique second" "G 09" "$(printf 'PRINT "G "; WSID$\n' | "$exe" -unique.sys 2>&1)"
exec 3>&-
wait "$holder"; holder=

# KTSERVER names the registry's directory, or the file itself.
mkdir reg
printf 'KTSERVER %s/reg/KTSERVER.DAT\n' "$work" > named.sys
check "KTSERVER file" "H 011" "$(printf 'PRINT "H "; WSID$; SESSION$\n' | "$exe" -named.sys 2>&1)"
[ -f reg/ktserver.dat ] || { echo "no ktserver.dat in the KTSERVER directory"; fail=1; }

exit $fail
