#!/usr/bin/env bash
# Copies of the real executable changing one shared keyed file while others read it: WRITERS
# copies add keyed records (their keys interleaved, so they meet in the same nodes) and delete
# every third one again, while READERS copies go through the file in key order, pass after
# pass, until the writers are done (and at least PASSES times).  No reader sees a key out of
# order or a record that does not carry its key; afterwards the file holds exactly the records
# not deleted and the key file verifies.
# Usage: mixed.sh VELTRIX [WRITERS [READERS [RECORDS_PER_WRITER [PASSES]]]]
#        (default: 4 writers, 4 readers, 3,000 records each, 3 passes)
set -uo pipefail
exe=$1
writers=${2:-4}
readers=${3:-4}
n=${4:-3000}
passes=${5:-3}
await_tries=2400
. "$(dirname "$0")/../datafiles/copies.sh"

check "create" "" "$(run \
  '10 OPEN #1: "NAME=m.dat,KFNAME=m.key,KPS=1,KLN=8,RECL=24,REPLACE", INTERNAL, OUTIN, KEYED' \
  '20 CLOSE #1:' '30 END' 'RUN')"
# Writer W adds key 10000000 + 8I + W, and after every third deletes the one two before it.
writer=('10 OPEN #1: "NAME=m.dat,KFNAME=m.key,SHR", INTERNAL, OUTIN, KEYED' '15 INPUT W'
  "20 FOR I = 1 TO $n" '30 LET K$ = STR$(10000000 + 8 * I + W)'
  '40 WRITE #1, USING 100: K$, K$, W LOCKED 40'
  '50 IF MOD(I, 3) <> 0 THEN GOTO 70'
  '60 DELETE #1, KEY=STR$(10000000 + 8 * (I - 2) + W): LOCKED 60'
  '70 NEXT I' '80 CLOSE #1:' '90 PRINT "DONE"' '95 END' '100 FORM C 8, C 8, N 4' 'RUN')
# A reader counts keys out of order and records whose second field is not their key; it stops
# once the file done.flag exists (the writers have ended) and it has made its passes.
reader=('10 OPEN #1: "NAME=m.dat,KFNAME=m.key,SHR", INTERNAL, INPUT, KEYED' '15 INPUT Q'
  '20 LET P = P + 1' '25 RESTORE #1:' '27 LET L$ = ""'
  '30 READ #1, USING 100: K$, C$ EOF 60, LOCKED 30'
  '40 IF K$ <= L$ THEN BAD = BAD + 1' '45 IF C$ <> K$ THEN WRONG = WRONG + 1'
  '50 LET L$ = K$' '55 GOTO 30' "60 IF P < $passes THEN GOTO 20"
  '65 OPEN #2: "NAME=done.flag", DISPLAY, INPUT IOERR 20' '66 CLOSE #2:'
  '70 PRINT "BAD"; BAD; "WRONG"; WRONG' '75 PRINT "PASSES"; P' '95 END'
  '100 FORM C 8, C 8' 'RUN')
for ((w = 1; w <= writers; ++w)); do start "w$w"; type_in "w$w" "${writer[@]}"; done
for ((r = 1; r <= readers; ++r)); do start "r$r"; type_in "r$r" "${reader[@]}"; done
started=$(now)
for ((w = 1; w <= writers; ++w)); do type_in "w$w" "$w"; done
for ((r = 1; r <= readers; ++r)); do type_in "r$r" "$r"; done
for ((w = 1; w <= writers; ++w)); do finish "w$w"; done
touch done.flag
for ((r = 1; r <= readers; ++r)); do finish "r$r"; done
elapsed=$(ms_since "$started")
for ((w = 1; w <= writers; ++w)); do check "writer $w" "DONE" "$(cat "w$w.out" "w$w.err")"; done
total=0
for ((r = 1; r <= readers; ++r)); do
  check "reader $r" "BAD0 WRONG0" "$(head -n 1 "r$r.out"; cat "r$r.err")"
  made=$(sed -n 's/^PASSES//p' "r$r.out" | tr -d ' ')
  total=$(( total + ${made:-0} ))
done
# Of every three records a writer added, two remain (the last one or two of a writer whose count
# is not a multiple of three remain too).
left=$(( writers * (n - n / 3) ))
check "records left" "LIVE$left ORDERED$left" "$(run \
  '10 OPEN #1: "NAME=m.dat,KFNAME=m.key", INTERNAL, INPUT, KEYED' \
  '20 READ #1, USING 60: K$, C$ EOF 40' '25 LET N = N + 1' \
  '30 IF K$ > L$ AND C$ = K$ THEN OK = OK + 1' '35 LET L$ = K$' '37 GOTO 20' \
  '40 PRINT "LIVE"; N; "ORDERED"; OK' '50 END' '60 FORM C 8, C 8' 'RUN')"
check "key file" "" "$(run 'INDEX m.dat m.key verify -n')"
echo "mixed: $writers writers x $n records, $readers readers making $total passes in $elapsed ms"
exit $fail
