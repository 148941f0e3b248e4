#!/usr/bin/env bash
# Copies of the real executable updating one shared keyed file at once: each copy does UPDATES
# locked read-modify-rewrite updates of random records (READ KEY= locks the record, the counter
# field goes up by one, REWRITE), retrying a read that finds the record locked.  Afterwards the
# counters add up to exactly PROCS x UPDATES (no update lost, none counted twice), the key file
# verifies against the data file, and no copy saw an error it did not expect.
# Usage: contention.sh VELTRIX [PROCS [UPDATES [RECORDS]]]   (default: 8 copies, 10,000 updates
#        each, 200 records)
set -uo pipefail
exe=$1
procs=${2:-8}
updates=${3:-10000}
records=${4:-200}
await_tries=2400
. "$(dirname "$0")/../datafiles/copies.sh"

check "create" "" "$(run \
  '10 OPEN #1: "NAME=c.dat,KFNAME=c.key,KPS=1,KLN=8,RECL=24,REPLACE", INTERNAL, OUTIN, KEYED' \
  "20 FOR I = 1 TO $records" '30 WRITE #1, USING 50: STR$(10000000 + I), 0' '40 NEXT I' \
  '45 CLOSE #1:' '50 FORM C 8, N 10' '60 END' 'RUN')"

# Copy P seeds its own random numbers; a read that finds the record locked (61, or the wait
# for it running out) is made again.  Every other error stops the program and shows on stderr.
updater=('10 OPEN #1: "NAME=c.dat,KFNAME=c.key,SHR", INTERNAL, OUTIN, KEYED' '15 INPUT P'
  '20 LET X = RND(P)' "30 FOR I = 1 TO $updates"
  "40 LET K\$ = STR\$(10000001 + INT(RND * $records))"
  '50 READ #1, USING 100, KEY=K$: K$, C LOCKED 50' '60 REWRITE #1, USING 100: K$, C + 1'
  '70 NEXT I' '80 CLOSE #1:' '90 PRINT "DONE"' '95 END' '100 FORM C 8, N 10' 'RUN')
for ((p = 1; p <= procs; ++p)); do
  start "u$p"
  type_in "u$p" "${updater[@]}"
done
started=$(now)
for ((p = 1; p <= procs; ++p)); do type_in "u$p" "$p"; done
for ((p = 1; p <= procs; ++p)); do finish "u$p"; done
elapsed=$(ms_since "$started")
for ((p = 1; p <= procs; ++p)); do
  check "copy $p" "DONE" "$(cat "u$p.out" "u$p.err")"
done
check "counters" "SUM$((procs * updates)) RECORDS$records" "$(run \
  '10 OPEN #1: "NAME=c.dat,KFNAME=c.key", INTERNAL, INPUT, KEYED' \
  '20 READ #1, USING 60: K$, C EOF 40' '30 LET S = S + C' '35 LET N = N + 1' '37 GOTO 20' \
  '40 PRINT "SUM"; S; "RECORDS"; N' '50 END' '60 FORM C 8, N 10' 'RUN')"
check "key file" "" "$(run 'INDEX c.dat c.key verify -n')"
echo "contention: $procs copies x $updates updates in $elapsed ms"
exit $fail
