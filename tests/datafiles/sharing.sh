#!/usr/bin/env bash
# Copies of the real executable sharing data files in one directory: a record one copy has read
# in a shared file stays locked to the others (READ ... WAIT= gives up with 61) until that copy
# dies; NOSHR and SHRI keep each other out; a record rewritten by one copy is what another reads
# next, by number or again, even after reading ahead; two copies appending to one shared file
# lose no record and leave the right count.
# Usage: sharing.sh VELTRIX
set -uo pipefail
exe=$1
. "$(dirname "$0")/copies.sh"

opener='10 OPEN #1: "NAME=shared.dat,SHR", INTERNAL, OUTIN, RELATIVE'
form=$'99 END\n100 FORM C 10, N 5'

# The file: 10 records of 20 bytes.
check "create" "MADE10" "$(run \
  '10 OPEN #1: "NAME=shared.dat,RECL=20,REPLACE", INTERNAL, OUTPUT' \
  '20 FOR I = 1 TO 10' \
  '30 WRITE #1, USING 100: "REC" & STR$(I), I' \
  '40 NEXT I' \
  '50 PRINT "MADE"; LREC(1)' \
  '60 CLOSE #1:' \
  "$form" \
  'RUN')"


# ---- a. a record read by A is locked to B until A dies ----
start a
type_in a "$opener" '20 READ #1, USING 100, REC=5: A$, N' '30 PRINT "HELD "; RTRM$(A$); N' \
  '40 INPUT X$' "$form" 'RUN'
await a.out 'HELD ' && check "A reads record 5" "HELD REC55" "$(cat a.out)"

t=$(now)
got=$(run "$opener" '20 READ #1, USING 100, REC=4: A$, N' '30 PRINT RTRM$(A$); N' "$form" 'RUN')
took=$(ms_since "$t")
check "B reads record 4 beside A" "REC44" "$got"
[ "$took" -lt 1500 ] || { echo "record 4 took $took ms"; fail=1; }

t=$(now)
got=$(run "$opener" '20 READ #1, USING 100, REC=5, WAIT=2: A$, N' '30 PRINT RTRM$(A$); N' "$form" 'RUN')
took=$(ms_since "$t")
check "B reads record 5 held by A" "ERROR 61 at 00020:01" "$got"
[ "$took" -ge 1500 ] && [ "$took" -le 6000 ] || { echo "WAIT=2 gave up after $took ms"; fail=1; }

# Rewriting or deleting the held record is refused just as well, after the file's own wait
# (WAIT= of the open string).
t=$(now)
got=$(run '10 OPEN #1: "NAME=shared.dat,SHR,WAIT=1", INTERNAL, OUTIN, RELATIVE' \
  '20 REWRITE #1, USING 100, REC=5: "LOST", 0 LOCKED 25' '25 PRINT "REWRITE"; ERR' \
  '30 DELETE #1, REC=5: LOCKED 50' '40 STOP' '50 PRINT "DELETE"; ERR' "$form" 'RUN')
took=$(ms_since "$t")
check "B rewrites and deletes record 5 held by A" "REWRITE61
DELETE61" "$got"
[ "$took" -lt 8000 ] || { echo "the file's WAIT=1 took $took ms"; fail=1; }

# The lock shows as LOCKED to a program that traps it, and the program goes on.
check "ON LOCKED" "LOCKED61 ON" "$(run "$opener" '15 ON LOCKED GOTO 50' \
  '20 READ #1, USING 100, REC=5, WAIT=0: A$, N' '30 PRINT "READ"' '40 STOP' \
  '50 PRINT "LOCKED"; ERR; "ON"' "$form" 'RUN')"

kill -9 "$a_pid"; wait "$a_pid" 2>/dev/null; finish a
t=$(now)
got=$(run "$opener" '20 READ #1, USING 100, REC=5, WAIT=2: A$, N' '30 PRINT RTRM$(A$); N' "$form" 'RUN')
took=$(ms_since "$t")
check "B reads record 5 after A was killed" "REC55" "$got"
[ "$took" -lt 1500 ] || { echo "record 5 after the kill took $took ms"; fail=1; }

# ---- b. NOSHR and SHRI keep each other out ----
for pair in "NOSHR SHRI" "SHRI NOSHR" "NOSHR SHR" "SHR NOSHR"; do
  set -- $pair
  rm -f a.in a.out a.err
  start a
  type_in a "10 OPEN #1: \"NAME=shared.dat,$1\", INTERNAL, INPUT" '20 PRINT "OPEN"' \
    '30 INPUT X$' '40 END' 'RUN'
  await a.out OPEN
  check "$2 INPUT beside $1 INPUT" "ERROR 4148 at 00010:01" \
    "$(run "10 OPEN #1: \"NAME=shared.dat,$2\", INTERNAL, INPUT" '20 PRINT "OPENED"' '30 END' 'RUN')"
  type_in a 'X'
  finish a
  check "$1 holder's end" "" "$(cat a.err)"
done
# With the holder gone, the file opens again.
check "after the holders" "OPENED" \
  "$(run '10 OPEN #1: "NAME=shared.dat,NOSHR", INTERNAL, INPUT' '20 PRINT "OPENED"' '30 END' 'RUN')"

# ---- c. A sees what B rewrote ----
rm -f a.in a.out a.err
start a
type_in a "$opener" '20 READ #1, USING 100, REC=7, RELEASE: A$, N' '30 PRINT "OLD "; RTRM$(A$); N' \
  '40 INPUT X$' '50 READ #1, USING 100, REC=7, RELEASE: A$, N' '60 PRINT "NEW "; RTRM$(A$); N' \
  '70 READ #1, USING 100, REC=6: A$, N' '80 PRINT "NEXT "; RTRM$(A$); N' "$form" 'RUN'
await a.out 'OLD '
check "B rewrites record 7" "" "$(run "$opener" \
  '20 READ #1, USING 100, REC=7: A$, N' '30 REWRITE #1, USING 100: "CHANGED", N * 10' \
  '40 REWRITE #1, USING 100, REC=6: "SIXTH", 66' '50 CLOSE #1:' "$form" 'RUN')"
type_in a 'GO'
finish a
check "A reads record 7 again" "OLD REC77
NEW CHANGED70
NEXT SIXTH66" "$(cat a.out)"
check "A's errors" "" "$(cat a.err)"

# ---- c2. a read by number and REREAD read the file, not A's read-ahead ----
# A reads sequentially (its read-ahead then holds every record), B rewrites records 1 and 9,
# and A's REREAD of record 1 and READ REC=9 show B's records; READ next goes on in sequence.
check "ahead file" "" "$(run '10 OPEN #1: "NAME=ahead.dat,RECL=20,REPLACE", INTERNAL, OUTPUT' \
  '20 FOR I = 1 TO 10' '30 WRITE #1, USING 100: "REC" & STR$(I), I' '40 NEXT I' '50 CLOSE #1:' \
  "$form" 'RUN')"
rm -f a.in a.out a.err
start a
type_in a '10 OPEN #1: "NAME=ahead.dat,SHR", INTERNAL, INPUT' '20 READ #1, USING 100: A$, N' \
  '30 PRINT "FIRST "; RTRM$(A$); N' '40 INPUT X$' '50 REREAD #1, USING 100: A$, N' \
  '60 PRINT "AGAIN "; RTRM$(A$); N' '70 READ #1, USING 100, REC=9: A$, N' \
  '80 PRINT "NINTH "; RTRM$(A$); N' '90 READ #1, USING 100: A$, N' \
  '95 PRINT "NEXT "; RTRM$(A$); N' "$form" 'RUN'
await a.out 'FIRST '
check "B rewrites records 1 and 9" "" "$(run \
  '10 OPEN #1: "NAME=ahead.dat,SHR", INTERNAL, OUTIN, RELATIVE' \
  '20 REWRITE #1, USING 100, REC=1: "NEW1", 11' '30 REWRITE #1, USING 100, REC=9: "NEW9", 99' \
  '40 CLOSE #1:' "$form" 'RUN')"
type_in a 'GO'
finish a
check "A reads records 1 and 9 again" "FIRST REC11
AGAIN NEW111
NINTH NEW999
NEXT REC1010" "$(cat a.out)"
check "A's errors" "" "$(cat a.err)"

# ---- d. two copies appending to one shared file ----
# Each pauses 10 ms between writes so that the two runs overlap: a writer that meets the other's
# update lock waits for its next try, a second later, and would otherwise find the other done.
check "log created" "" "$(run '10 OPEN #1: "NAME=log.dat,RECL=20,NEW", INTERNAL, OUTPUT' \
  '20 CLOSE #1:' '30 END' 'RUN')"
appender=('10 OPEN #1: "NAME=log.dat,SHR", INTERNAL, OUTPUT' '20 PRINT "READY"' '30 INPUT W$'
  '40 FOR I = 1 TO 200' '50 WRITE #1, USING 100: W$, I' '60 S = SLEEP(.01)'
  '70 NEXT I' '80 CLOSE #1:' '90 PRINT "DONE"' '99 END' '100 FORM C 4, N 5' 'RUN')
rm -f a.in a.out a.err
start a
start b
type_in a "${appender[@]}"
type_in b "${appender[@]}"
await a.out READY && await b.out READY
type_in a 'A'
type_in b 'B'
finish a
finish b
check "appender A" "READY
DONE" "$(cat a.out; cat a.err)"
check "appender B" "READY
DONE" "$(cat b.out; cat b.err)"

# The header: the record count (u32 at 0) and the header length (u16 at 11), both little-endian.
count=$(od -An -tu4 -j0 -N4 log.dat | tr -d ' ')
hlen=$(od -An -tu2 -j11 -N2 log.dat | tr -d ' ')
size=$(stat -c %s log.dat)
check "header count" "400" "$count"
check "file size" "$((hlen + 400 * 21))" "$size"

# Every record whole: each writer's numbers 1..200 in order, and the two interleaved.
check "records" "A200 B200 BAD0 MIXED1" "$(run \
  '10 OPEN #1: "NAME=log.dat", INTERNAL, INPUT' \
  '20 READ #1, USING 100: W$, I EOF 80' \
  '25 W$ = RTRM$(W$)' \
  '30 IF W$ = "A" THEN A = A + 1 ELSE IF W$ = "B" THEN B = B + 1 ELSE GOTO 75' \
  '40 IF W$ = "A" AND I <> A THEN GOTO 75' \
  '50 IF W$ = "B" AND I <> B THEN GOTO 75' \
  '60 IF W$ <> L$ AND L$ <> "" THEN SWITCHES = SWITCHES + 1' \
  '70 L$ = W$' '72 GOTO 20' '75 BAD = BAD + 1' '77 GOTO 20' \
  '80 M = 0' '82 IF SWITCHES > 2 THEN M = 1' '85 PRINT "A"; A; "B"; B; "BAD"; BAD; "MIXED"; M' '99 END' \
  '100 FORM C 4, N 5' 'RUN')"

exit $fail
