#!/usr/bin/env bash
# The file commands beside another copy of the real executable that has files open: COPY from
# or onto them, RENAME, FREE and DROP are refused with 4148 and change nothing (a refused FREE
# or DROP prints no name); COPY -S copies the source all the same; once the other copy has
# closed them every command works.
# Usage: file_sharing.sh VELTRIX
set -uo pipefail
exe=$1
. "$(dirname "$0")/../datafiles/copies.sh"

check "data" "" "$(run '10 OPEN #1: "NAME=k.dat,RECL=8,REPLACE", INTERNAL, OUTPUT' \
  '20 WRITE #1, USING 30: "RECORD01"' '30 FORM C 8' '40 CLOSE #1:' \
  '50 OPEN #1: "NAME=t.txt,REPLACE", DISPLAY, OUTPUT' '60 PRINT #1: "text"' '70 CLOSE #1:' \
  '80 END' 'RUN')"
data=$(cksum < k.dat)
text=$(cksum < t.txt)

# A copy holding both files open (shared reading: another reader would be let in).
start a
type_in a '10 OPEN #1: "NAME=k.dat,SHR", INTERNAL, INPUT' \
  '20 OPEN #2: "NAME=t.txt,SHR", DISPLAY, INPUT' '30 PRINT "READY"' '40 INPUT X$' \
  '50 CLOSE #1:' '60 CLOSE #2:' '70 END' 'RUN'
await a.out READY
check "copy from" "k.dat copied to   c.dat
ERROR 4148" "$(run 'COPY k.dat c.dat')"
check "copy onto" "t.txt copied to   k.dat
ERROR 4148" "$(run 'COPY t.txt k.dat')"
check "rename" "k.dat renamed to  r.dat
ERROR 4148" "$(run 'RENAME k.dat r.dat')"
# A refused FREE or DROP prints only its error: no name, as if the file had gone.
check "free" "ERROR 4148" "$(run 'FREE t.txt')"
check "drop data" "ERROR 4148" "$(run 'DROP k.dat')"
check "drop text" "ERROR 4148" "$(run 'DROP t.txt')"
check "drop text quietly" "ERROR 4148" "$(run 'DROP t.txt -N')"
check "data kept" "$data" "$(cksum < k.dat)"
check "text kept" "$text" "$(cksum < t.txt)"
check "nothing else" "k.dat
ktserver.dat
ktsess.vm
t.txt" "$(ls | grep -v '^a\.')"
check "copy -S" "k.dat copied to   c.dat" "$(run 'COPY k.dat c.dat -S')"
check "the copy" "$data" "$(cksum < c.dat)"
type_in a 'GO'
finish a

# Closed again: everything goes.
check "free now" "t.txt" "$(run 'FREE t.txt')"
check "drop now" "k.dat" "$(run 'DROP k.dat')"
check "empty data file" "RECORDS0" "$(run '10 OPEN #1: "NAME=k.dat", INTERNAL, INPUT' \
  '20 PRINT "RECORDS"; LREC(1)' '30 CLOSE #1:' '40 END' 'RUN')"
exit $fail
