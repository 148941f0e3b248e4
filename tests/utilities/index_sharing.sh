#!/usr/bin/env bash
# INDEX with other copies of the real executable: a data file another copy has open for shared
# writing is refused read alone (4148) and indexed when read shared; a key file another copy
# uses is not replaced under it (4148); a copy killed while it builds a key file leaves the old
# key file as it was, and the next copy builds and verifies a new one without waiting for
# anything the dead one held (and removes what the dead one left half-built).
# Usage: index_sharing.sh VELTRIX
set -uo pipefail
exe=$1
. "$(dirname "$0")/../datafiles/copies.sh"

make_data() {  # make_data FILE RECORDS
  run "10 OPEN #1: \"NAME=$1,RECL=16,REPLACE\", INTERNAL, OUTPUT" "20 FOR I = 1 TO $2" \
    "30 WRITE #1, USING 40: STR\$(10000000 + MOD(I * 7919, $2))" '40 FORM C 8' '50 NEXT I' \
    '60 CLOSE #1:' '70 END' 'RUN'
}
check "data" "" "$(make_data k.dat 2000)"

# A copy holding the data file open for shared writing.
start a
type_in a '10 OPEN #1: "NAME=k.dat,SHR", INTERNAL, OUTIN' '20 PRINT "READY"' '30 INPUT X$' \
  '40 CLOSE #1:' '50 END' 'RUN'
await a.out READY
check "read alone while shared" "ERROR 4148" "$(run 'INDEX k.dat k.key 1 8 -n')"
check "read shared" "" "$(run 'INDEX k.dat k.key 1 8 shr -n' 'INDEX k.dat k.key verify shr -n')"
type_in a 'GO'
finish a

# A copy using the key file: it cannot be replaced under it (its changes would be lost).
start c
type_in c '10 OPEN #1: "NAME=k.dat,KFNAME=k.key,SHR", INTERNAL, INPUT, KEYED' '20 PRINT "READY"' \
  '30 INPUT X$' '40 CLOSE #1:' '50 END' 'RUN'
await c.out READY
check "key file in use" "ERROR 4148" "$(run 'INDEX k.dat k.key 1 8 replace -n')"
type_in c 'GO'
finish c
check "key file free again" "" "$(run 'INDEX k.dat k.key 1 8 replace -n')"

# A build killed half-way: the old key file stays, and nothing blocks the next build.
check "big data" "" "$(make_data big.dat 200000)"
check "first build" "" "$(run 'INDEX big.dat big.key 1 4 dupkeys -n')"
before=$(cksum < big.key)
start b
type_in b 'INDEX big.dat big.key 1 8 replace -n'
for _ in $(seq 400); do compgen -G 'big.key.~*' > /dev/null && break; sleep 0.01; done
kill -9 "$b_pid" 2>/dev/null
finish b
check "old key file kept" "$before" "$(cksum < big.key)"
check "the dead copy's half-built file" "1" "$(ls big.key.~* 2>/dev/null | wc -l)"
check "next build" "" "$(run 'INDEX big.dat big.key 1 8 replace -n' 'INDEX big.dat big.key verify -n')"
# The dead copy's half-built file went with the next build.
check "nothing half-built left" "" "$(ls big.key.~* 2>/dev/null)"
exit $fail
