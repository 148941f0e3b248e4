#!/usr/bin/env bash
# A copy of the real executable adding keyed records is killed (SIGKILL) at random moments,
# KILLS times; it prints each record's key once its WRITE has returned.  After each kill: every
# key printed is in the data file; VERIFY finds the key file sound or names the damage (4123);
# REORG makes it sound, and then every key printed is found through it; and nothing waits for a
# lock the dead copy held.  The writer opens the file shared on odd rounds and alone on even ones
# (a key file held alone keeps changed nodes back until CLOSE, so a kill leaves it marked).
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
damaged=0
rounds=0
for ((k = 1; k <= kills; ++k)); do
  rounds=$k
  share=$([ $((k % 2)) -eq 1 ] && echo ",SHR" || echo "")
  # Keys of round k start at 10000000 + 100000 k, in a scattered order.
  start w
  type_in w "10 OPEN #1: \"NAME=d.dat,KFNAME=d.key$share\", INTERNAL, OUTIN, KEYED" \
    '20 FOR I = 1 TO 99999' "30 LET K\$ = STR\$(10000000 + 100000 * $k + MOD(I * 7919, 99991))" \
    '40 WRITE #1, USING 80: K$, "written in round", I' '50 PRINT K$' '60 NEXT I' '70 END' \
    '80 FORM C 8, C 16, N 8' 'RUN'
  sleep "0.$(printf '%03d' $((RANDOM % delay)))"
  kill -9 "$w_pid" 2>/dev/null
  finish w 2>/dev/null  # (bash reports the kill)
  # A line cut by the kill is not a key that was reported.
  grep -E '^[0-9]{8}$' w.out >> written.txt
  rm -f w.in w.out w.err
  started=$(now)
  # Every key reported is in the data file (read in sequence, without the key file).
  sort -u written.txt > want.txt
  run '10 OPEN #1: "NAME=d.dat", INTERNAL, INPUT' '20 READ #1, USING 50: K$ EOF 40' \
    '30 PRINT K$' '35 GOTO 20' '40 END' '50 FORM C 8' 'RUN' | sort -u > have.txt
  check "round $k: reported keys in the data file" "" "$(comm -23 want.txt have.txt | head -3)"
  verify=$(run 'INDEX d.dat d.key verify -n')
  case "$verify" in
    "") ;;
    "ERROR 4123") damaged=$((damaged + 1)) ;;
    *) check "round $k: VERIFY" "nothing or ERROR 4123" "$verify" ;;
  esac
  check "round $k: REORG" "" "$(run 'INDEX d.dat d.key 1 8 reorg -n' 'INDEX d.dat d.key verify -n')"
  # Every key reported, found through the rebuilt key file.
  check "round $k: keys found" "MISSING0" "$(run \
    '10 OPEN #1: "NAME=d.dat,KFNAME=d.key", INTERNAL, INPUT, KEYED' \
    '15 OPEN #2: "NAME=want.txt", DISPLAY, INPUT' '20 LINPUT #2: K$ EOF 60' \
    '30 READ #1, USING 70, KEY=K$: X$ NOKEY 50' '40 GOTO 20' '50 LET M = M + 1' '55 GOTO 20' \
    '60 PRINT "MISSING"; M' '65 END' '70 FORM C 8' 'RUN')"
  waited=$(ms_since "$started")
  [ "$waited" -lt 10000 ] || check "round $k: checks done without waiting" "under 10 s" "$waited ms"
  [ $fail -eq 0 ] || break
done
echo "crash: $rounds kills, $(wc -l < want.txt) keys reported, VERIFY named damage after $damaged"
exit $fail
