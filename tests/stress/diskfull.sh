#!/usr/bin/env bash
# A full disk: on a small filesystem (a size-limited tmpfs, where this machine lets the test
# mount one; skipped with a message where it cannot), a program writes keyed records until the
# disk is full.  WRITE reports 4239 and every record written before it stays readable through
# its key, with no repair once there is room again: the key file verifies; REWRITE still works in
# place; INDEX and SORT
# report 4239 and leave the key file, the data file and the output they would replace as they
# were.
# Usage: diskfull.sh VELTRIX   (exit status 77: skipped)
set -uo pipefail
exe=$1
. "$(dirname "$0")/../datafiles/copies.sh"
mkdir small
if ! mount -t tmpfs -o size=512k tmpfs small 2>/dev/null; then
  echo "diskfull: skipped: this machine does not let the test mount a small filesystem"
  exit 77
fi
trap 'cd /; umount "$work/small" 2>/dev/null; cleanup' EXIT
# The registry stays off the full disk: only the data files are on it.
printf 'KTSERVER %s\n' "$work" > reg.sys
run() { printf '%s\n' "$@" | "$exe" "-$work/reg.sys" 2>&1; }
cd small || exit 2
# Space to give back once the disk is full, so that REORG can rebuild what the full disk cut.
head -c 65536 /dev/zero > spare

# Records of 200 bytes until the disk is full: the last number printed is the last WRITE that
# returned, then the error of the one that did not.
out=$(run '10 OPEN #1: "NAME=f.dat,KFNAME=f.key,KPS=1,KLN=8,RECL=200,REPLACE", INTERNAL, OUTIN, KEYED' \
  '20 FOR I = 1 TO 100000' '30 WRITE #1, USING 90: STR$(10000000 + MOD(I * 7919, 99991)), I IOERR 70' \
  '40 LET N = I' '50 NEXT I' '70 PRINT "WRITTEN"; N; "ERROR"; ERR' '80 CLOSE #1:' '85 END' \
  '90 FORM C 8, N 8, C 184' 'RUN')
check "WRITE on a full disk" "ERROR4239" "$(echo "$out" | head -n 1 | sed -n 's/.*\(ERROR[0-9]*\).*/\1/p')"
# The CLOSE may report the full disk too: the key file's held-back changes could not be written.
case "$(echo "$out" | sed -n 2p)" in "" | "ERROR 4239 at 00080:01") ;;
  *) check "CLOSE on a full disk" "nothing or ERROR 4239" "$(echo "$out" | sed -n 2p)" ;; esac
written=$(echo "$out" | sed -n 's/^WRITTEN\([0-9]*\).*/\1/p')
# REWRITE needs no new space.
check "REWRITE on a full disk" "" "$(run \
  '10 OPEN #1: "NAME=f.dat", INTERNAL, OUTIN, RELATIVE' \
  '20 READ #1, USING 90, REC=5: K$, N' '30 REWRITE #1, USING 90, REC=5: K$, N' '40 CLOSE #1:' \
  '50 END' '90 FORM C 8, N 8' 'RUN')"
[ "${written:-0}" -gt 100 ] || check "records written before the disk was full" "over 100" "$written"
# INDEX and SORT cannot make their files: 4239, and nothing they would replace is touched.
keys=$(cksum < f.key) data=$(cksum < f.dat)
check "INDEX on a full disk" "ERROR 4239" "$(run 'INDEX f.dat f.key 1 8 replace -n')"
check "key file kept" "$keys" "$(cksum < f.key)"
printf 'FILE f.dat,f.dat.sorted,,R,,REPLACE\nMASK 1,8,C\n' > ../sort.ctl
check "SORT on a full disk" "ERROR 4239" "$(run "SORT $work/sort.ctl -N")"
check "data file kept" "$data" "$(cksum < f.dat)"
# The journal of the writer stays until its held-back changes can be written.
check "nothing left half-made" "f.dat f.key spare" "$(ls | grep -v '^ktjrnl' | tr '\n' ' ' | sed 's/ $//')"
# With room again (the key file held its changes back until the CLOSE, which met the full disk
# too), the next copy finishes them from the journal and the data file: the key file verifies
# and every record written is found by its key, with no repair.
rm spare
check "VERIFY with room again" "" "$(run 'INDEX f.dat f.key verify -n')"
check "the journal is finished" "" "$(ls ktjrnl* 2>/dev/null)"
check "every record by its key" "FOUND$written" "$(run \
  '10 OPEN #1: "NAME=f.dat,KFNAME=f.key", INTERNAL, INPUT, KEYED' "20 FOR I = 1 TO $written" \
  '30 READ #1, USING 90, KEY=STR$(10000000 + MOD(I * 7919, 99991)): K$, N NOKEY 50' \
  '40 IF N = I THEN F = F + 1' '50 NEXT I' '60 PRINT "FOUND"; F' '70 END' '90 FORM C 8, N 8' 'RUN')"
exit $fail
