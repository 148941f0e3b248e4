#!/usr/bin/env bash
# Copies of the real executable writing one shared keyed file at once: two copies insert keys
# (interleaved in key order, so they meet in the same nodes) into a B-tree key file of each
# format, with the tree verified after every insertion (BTREE_VERIFY); afterwards every key
# is found, the keys read in order are all there, each once, and no record is lost.  A third
# copy reading in key order while they write sees ascending keys only.  A copy holding a keyed
# file alone (NOSHR) writes its key file's changed nodes at CLOSE; killed before that, it leaves
# the key file marked and its journal beside it, and the next OPEN finishes the changes from the
# journal and the data file: every record written is found by its key, with no repair.
# Usage: keyed_sharing.sh VELTRIX [RECORDS_PER_COPY]
set -uo pipefail
exe=$1
n=${2:-1500}
await_tries=600
. "$(dirname "$0")/copies.sh"

for option in OFF ON; do  # OPTION 22 off: format 1; on: format 2
  rm -f k.dat k.key ./*.in ./*.out ./*.err
  check "create ($option)" "" "$(run "CONFIG OPTION 22 $option" \
    '10 OPEN #1: "NAME=k.dat,KFNAME=k.key,KPS=1,KLN=8,RECL=20,REPLACE", INTERNAL, OUTIN, KEYED' \
    '20 CLOSE #1:' '30 END' 'RUN')"
  # Copy W writes keys 100000W .. : the I-th key of each copy is next to the other's I-th.
  writer=('CONFIG BTREE_VERIFY k.key'
    '10 OPEN #1: "NAME=k.dat,KFNAME=k.key,SHR", INTERNAL, OUTIN, KEYED' '20 PRINT "READY"'
    '30 INPUT W$' "40 FOR I = 1 TO $n" "50 J = MOD(I * 7919, $n)"
    '60 WRITE #1, USING 100: STR$(100000 + J) & W$, W$, J' '70 NEXT I' '80 CLOSE #1:'
    '90 PRINT "DONE"' '99 END' '100 FORM C 8, C 1, N 9' 'RUN')
  start a
  start b
  type_in a "${writer[@]}"
  type_in b "${writer[@]}"
  await a.out READY && await b.out READY
  type_in a 'A'
  type_in b 'B'
  # A reader going through the file in key order while they write.
  start c
  type_in c '10 OPEN #1: "NAME=k.dat,KFNAME=k.key,SHR", INTERNAL, INPUT, KEYED' \
    '20 FOR P = 1 TO 3' '25 RESTORE #1:' '27 L$ = ""' \
    '30 READ #1, USING 100: K$ EOF 60' '40 IF K$ <= L$ THEN BAD = BAD + 1' '50 L$ = K$' '55 GOTO 30' \
    '60 NEXT P' '70 PRINT "ORDER"; BAD' '99 END' '100 FORM C 8' 'RUN'
  finish a
  finish b
  finish c
  check "writer A ($option)" "READY
DONE" "$(cat a.out a.err)"
  check "writer B ($option)" "READY
DONE" "$(cat b.out b.err)"
  check "reader during the writes ($option)" "ORDER0" "$(cat c.out c.err)"
  # Every key of both copies, by key and in order, each pointing at its own record.
  check "afterwards ($option)" "RECORDS$((2 * n)) FOUND$((2 * n)) INORDER$((2 * n)) BAD0" "$(run \
    'CONFIG BTREE_VERIFY k.key' \
    '10 OPEN #1: "NAME=k.dat,KFNAME=k.key", INTERNAL, INPUT, KEYED' \
    "20 FOR I = 1 TO $n" "25 J = MOD(I * 7919, $n)" '30 FOR W = 1 TO 2' '35 W$ = CHR$(64 + W)' \
    '40 READ #1, USING 100, KEY=STR$(100000 + J) & W$: K$, X$, V NOKEY 70' \
    '50 IF X$ = W$ AND V = J THEN FOUND = FOUND + 1 ELSE BAD = BAD + 1' '60 GOTO 80' \
    '70 BAD = BAD + 1' '80 NEXT W' '90 NEXT I' '110 RESTORE #1:' \
    '120 READ #1, USING 100: K$, X$, V EOF 150' '130 IF K$ > L$ THEN INORDER = INORDER + 1' \
    '140 L$ = K$' '145 GOTO 120' \
    '150 PRINT "RECORDS"; LREC(1); "FOUND"; FOUND; "INORDER"; INORDER; "BAD"; BAD' '160 END' \
    '100 FORM C 8, C 1, N 9' 'RUN')"
done
# ---- a copy holding the file alone is killed before its CLOSE ----
rm -f k.dat k.key ./*.in ./*.out ./*.err
start h
type_in h '10 OPEN #1: "NAME=k.dat,KFNAME=k.key,KPS=1,KLN=8,RECL=20,REPLACE", INTERNAL, OUTIN, KEYED' \
  '20 FOR I = 1 TO 500' '30 WRITE #1, USING 100: STR$(100000 + I), "H", I' '40 NEXT I' \
  '50 PRINT "WRITTEN"' '60 INPUT X$' '70 CLOSE #1:' '99 END' '100 FORM C 8, C 1, N 9' 'RUN'
await h.out WRITTEN
kill -9 "$h_pid"; wait "$h_pid" 2>/dev/null; finish h
check "key file after the kill" "KEYS500 FOUND500" "$(run \
  '10 OPEN #1: "NAME=k.dat,KFNAME=k.key", INTERNAL, INPUT, KEYED' '20 FOR I = 1 TO 500' \
  '30 READ #1, USING 100, KEY=STR$(100000 + I): K$, X$, V NOKEY 50' '40 IF V = I THEN F = F + 1' \
  '50 NEXT I' '60 PRINT "KEYS"; KREC(1); "FOUND"; F' '99 END' '100 FORM C 8, C 1, N 9' 'RUN')"
check "no journal left behind" "" "$(ls ktjrnl* 2>/dev/null)"
check "the key file verifies" "" "$(run 'INDEX k.dat k.key verify -n')"
# The same program let run to its CLOSE leaves every key in the file.
rm -f k.dat k.key
check "held back until CLOSE" "KEYS500" "$(run \
  '10 OPEN #1: "NAME=k.dat,KFNAME=k.key,KPS=1,KLN=8,RECL=20,REPLACE", INTERNAL, OUTIN, KEYED' \
  '20 FOR I = 1 TO 500' '30 WRITE #1, USING 100: STR$(100000 + I), "H", I' '40 NEXT I' \
  '50 CLOSE #1:' '60 OPEN #1: "NAME=k.dat,KFNAME=k.key,SHR", INTERNAL, INPUT, KEYED' \
  '70 PRINT "KEYS"; KREC(1)' '99 END' '100 FORM C 8, C 1, N 9' 'RUN')"
# ---- files left open (NOCLOSE) are written out when the copy ends ----
rm -f k.dat k.key s.dat
run '10 OPEN #1: "NAME=k.dat,KFNAME=k.key,KPS=1,KLN=4,RECL=10,REPLACE,NOCLOSE", INTERNAL, OUTIN, KEYED' \
  '20 OPEN #2: "NAME=s.dat,RECL=10,REPLACE,NOCLOSE", INTERNAL, OUTPUT' \
  '30 WRITE #1, USING 90: "AAAA"' '40 WRITE #2, USING 90: "BBBB"' '50 END' '90 FORM C 4' 'RUN' \
  'SYSTEM' > /dev/null
check "NOCLOSE files at the end" "AAAA1 BBBB1" "$(run \
  '10 OPEN #1: "NAME=k.dat,KFNAME=k.key", INTERNAL, INPUT, KEYED' \
  '20 OPEN #2: "NAME=s.dat", INTERNAL, INPUT' '30 READ #1, USING 90, KEY="AAAA": A$' \
  '40 READ #2, USING 90: B$' '50 PRINT A$; KREC(1); B$; LREC(2)' '60 END' '90 FORM C 4' 'RUN')"
exit $fail
