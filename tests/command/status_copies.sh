#!/usr/bin/env bash
# STATUS LOCKS with another copy of the real executable: the users of a file (the other copy's
# share marker with its WSID, this copy's own) and the record the other copy holds locked are
# found by testing the lock area; once the other copy has ended, nobody is left.
# Usage: status_copies.sh VELTRIX
set -uo pipefail
exe=$1
. "$(dirname "$0")/../datafiles/copies.sh"

check "data" "" "$(run '10 OPEN #1: "NAME=c.dat,RECL=8,REPLACE", INTERNAL, OUTPUT' \
  '20 FOR I = 1 TO 5' '30 WRITE #1, USING 40: STR$(I)' '40 FORM C 8' '50 NEXT I' '60 CLOSE #1:' \
  '70 END' 'RUN')"

# A copy (session 1 of this machine's workstation) holding the file shared for output with record 3 locked.
start a
type_in a '10 OPEN #1: "NAME=c.dat,SHR", INTERNAL, OUTIN, RELATIVE' '20 READ #1, USING 30, REC=3: A$' \
  '30 FORM C 8' '40 PRINT "READY"' '50 INPUT X$' '60 CLOSE #1:' '70 END' 'RUN'
await a.out READY

users=$(run 'STATUS LOCKS c.dat' | sed -n '/Current Users/,$p')
check "heading" "Current Users of c.dat" "$(printf '%s\n' "$users" | head -1)"
check "the other copy" "1" "$(printf '%s\n' "$users" | grep -c -E '^OUTSHR +[0-9]+ 1( |$)')"
check "its locked record" "1" "$(printf '%s\n' "$users" | grep -c '^     Record Locked   Pos=     3$')"

# This copy's own open (session 2) shows beside the other one; the report goes to a file.
run '10 OPEN #2: "NAME=c.dat,SHR", INTERNAL, INPUT' '20 PAUSE' 'RUN' 'STATUS LOCKS c.dat > st.txt' \
  'GO END' > /dev/null
check "own open too" "1" "$(grep -c -E '^INSHR +[0-9]+ 2 ' st.txt)"
check "lines end with CR LF" "$(wc -l < st.txt)" "$(grep -c $'\r$' st.txt)"

type_in a 'GO'
finish a
check "nobody left" "  No file users detected" "$(run 'STATUS LOCKS c.dat' | tail -1)"

exit $fail
