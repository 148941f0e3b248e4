#!/usr/bin/env bash
# Copies of the real executable adding, rewriting and deleting keyed records are killed
# (SIGKILL) at random moments, KILLS times; each prints a record's key once its WRITE has
# returned, marks the key ("P") before it deletes it, and prints it again ("D") once its DELETE
# has returned.  On odd rounds three copies share the file (SHR) and are
# killed one after another while the others go on; on even rounds one copy holds it alone.
# After each round, with no repair of any kind: a new copy opens the file, every key printed as
# written (and not as deleted) is found through the key file, no key printed as deleted is,
# INDEX VERIFY finds the key file sound, and nothing waits for a lock a dead copy held.
# Usage: crash.sh VELTRIX [KILLS [MAX_DELAY_MS]]   (default: 100 kills within 100 ms each)
set -uo pipefail
exe=$1
kills=${2:-100}
delay=${3:-100}
. "$(dirname "$0")/../datafiles/copies.sh"

check "create" "" "$(run \
  '10 OPEN #1: "NAME=d.dat,KFNAME=d.key,KPS=1,KLN=8,RECL=32,REPLACE", INTERNAL, OUTIN, KEYED' \
  '20 CLOSE #1:' '30 END' 'RUN')"
: > written.txt
: > deleted.txt
: > pending.txt
# writer NAME ROUND COPY SHARE: a copy that writes keys of its own, deleting every fifth one it
# wrote again ("P" and the key before, "D" and the key once the DELETE has returned).
writer() {
  start "$1"
  type_in "$1" "10 OPEN #1: \"NAME=d.dat,KFNAME=d.key$4\", INTERNAL, OUTIN, KEYED" \
    '20 FOR I = 1 TO 99999' "30 LET K\$ = STR\$(10000000 + 300000 * $2 + 100000 * $3 + MOD(I * 7919, 99991))" \
    '40 WRITE #1, USING 90: K$, "written in round", I' '50 PRINT K$' \
    '60 IF MOD(I, 5) <> 0 THEN GOTO 80' '62 PRINT "P"; K$' '65 READ #1, USING 90, KEY=K$: K$, X$, N' \
    '70 DELETE #1:' '75 PRINT "D"; K$' '80 NEXT I' '85 END' '90 FORM C 8, C 16, N 8' 'RUN'
}
pause() { sleep "0.$(printf '%03d' $((RANDOM % delay)))"; }
for ((k = 1; k <= kills; ++k)); do
  if [ $((k % 2)) -eq 1 ]; then
    names=(a b c)
    writer a "$k" 0 ",SHR"
    writer b "$k" 1 ",SHR"
    writer c "$k" 2 ",SHR"
  else
    names=(a)
    writer a "$k" 0 ""
  fi
  # Each copy is killed at a moment of its own, while the others still write.
  for name in "${names[@]}"; do
    pause
    pidvar="${name}_pid"
    kill -9 "${!pidvar}" 2>/dev/null
    finish "$name" 2>/dev/null
  done
  for name in "${names[@]}"; do
    # A line cut by the kill is not a key that was reported.
    grep -E '^[0-9]{8}$' "$name.out" >> written.txt
    sed -n 's/^D\([0-9]\{8\}\)$/\1/p' "$name.out" >> deleted.txt
    # A DELETE under way when the copy was killed may or may not have happened.
    sed -n 's/^P\([0-9]\{8\}\)$/\1/p' "$name.out" >> pending.txt
    rm -f "$name.in" "$name.out" "$name.err"
  done
  started=$(now)
  sort -u deleted.txt > gone.txt
  sort -u pending.txt | comm -23 - gone.txt > maybe.txt
  sort -u written.txt | comm -23 - gone.txt | comm -23 - maybe.txt > want.txt
  # Every key reported as written and not deleted is found; none reported as deleted is.
  check "round $k: keys found" "MISSING0 FOUNDGONE0" "$(run \
    '10 OPEN #1: "NAME=d.dat,KFNAME=d.key", INTERNAL, INPUT, KEYED' \
    '15 OPEN #2: "NAME=want.txt", DISPLAY, INPUT' '20 LINPUT #2: K$ EOF 60' \
    '30 READ #1, USING 90, KEY=K$: X$ NOKEY 50' '40 GOTO 20' '50 LET M = M + 1' '55 GOTO 20' \
    '60 OPEN #3: "NAME=gone.txt", DISPLAY, INPUT' '65 LINPUT #3: K$ EOF 80' \
    '70 READ #1, USING 90, KEY=K$: X$ NOKEY 65' '75 LET G = G + 1' '77 GOTO 65' \
    '80 PRINT "MISSING"; M; "FOUNDGONE"; G' '85 END' '90 FORM C 8' 'RUN' | tr -s ' ' | sed 's/ *$//')"
  check "round $k: VERIFY" "" "$(run 'INDEX d.dat d.key verify -n')"
  waited=$(ms_since "$started")
  [ "$waited" -lt 10000 ] || check "round $k: checks done without waiting" "under 10 s" "$waited ms"
  [ $fail -eq 0 ] || break
done
check "no journal left behind" "" "$(ls ktjrnl* 2>/dev/null)"
echo "crash: $kills rounds, $(wc -l < want.txt) keys kept, $(wc -l < gone.txt) deleted, no repair"
exit $fail
