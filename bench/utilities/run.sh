#!/usr/bin/env bash
# The INDEX and SORT utilities against their peers, in one run, over 1,000,000 records of 64
# bytes: a 10-character key, a 6-character group and a 48-character name, written in a scattered
# key order (record J = 0..N-1 is I = (J * 7919) mod N + 1; key "1000000000"+I, group "G" and
# (I * 31) mod 1000 in 5 digits, name "Name number I" padded with blanks):
#   index  INDEX of the key into a new B-tree key file, against SQLite's CREATE INDEX on the key
#          column of a table holding the same rows (in one transaction);
#   sort   SORT of the records by group, then key, into a new data file of whole records, against
#          GNU sort --parallel=1 of the same records as text lines with the same two keys.
# The sort memory is 2 MB on every side, so that every side spills to disk: MAX_SORT_MEMORY 2 MB
# for ours, a 2 MiB page cache for SQLite (its sorter's memory is bounded by it), sort -S 2M.
# Each round alternates our run and the peer's; the median over the rounds of each side's CPU
# seconds (user + system, as in bench/files/run.sh) and of the ratio peer / ours are printed with
# the records per second the median time gives.  Every run is checked: the key file verifies and
# holds every record, the sorted file is in order and complete, the peers report every row.
# Usage: bench/utilities/run.sh BUILD_DIR VELTRIX [PAIRS]   (default: 3 pairs)
#   BUILD_DIR holds sqlite_index, which the Makefile's bench target builds.
#   VX_UTIL_RECORDS, when set, replaces the 1,000,000 records (a quick look at a smaller run).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR VELTRIX [PAIRS]" >&2; exit 2; }
bin=$(realpath "$1")
exe=$(realpath "$2")
pairs=${3:-3}
records=${VX_UTIL_RECORDS:-1000000}
[ -x "$bin/sqlite_index" ] || { echo "$bin/sqlite_index is missing (make bench builds it)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir tmp
printf 'MAX_SORT_MEMORY 2 MB\n' > config.sys
sed "s/LET N=1000000/LET N=$records/" "$here"/workloads/data.vxb > data.vxb
cp "$here"/workloads/sorted.vxb .
printf 'FILE data.int,sorted.int,,R,,REPLACE\nMASK 11,6,C,A,1,10,C,A\n' > sort.ctl

# Our executable on the command lines given, with the sort memory above; fails when it reports
# an error.
ours() {
  printf '%s\n' "$@" SYSTEM | "$exe" "-$work/config.sys" > ours.out 2> ours.err || true
  if [ -s ours.err ]; then
    echo "ours failed on: $*" >&2
    sed 's/^/    /' ours.err >&2
    return 1
  fi
}

# The data, untimed: our data file, SQLite's table, the text lines.
ours "LOAD data.vxb" "RUN"
[ "$(tail -n 1 ours.out | tr -d ' ')" = "$records" ] || { echo "writing the data failed" >&2; exit 1; }
"$bin"/sqlite_index load bench.db "$records" > /dev/null
awk -v n="$records" 'BEGIN { for (j = 0; j < n; ++j) { i = (j * 7919) % n + 1;
  printf "%d%s%-48s\n", 1000000000 + i, sprintf("G%05d", (i * 31) % 1000), "Name number " i } }' \
  > data.txt

# CPU seconds of one run of the command given.
cpu() {
  local TIMEFORMAT='%3U %3S' t
  t=$( { time ("$@") > /dev/null; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f\n", a[1] + a[2] }'
}

ours_index() { ours "INDEX data.int keys.k 1 10 replace -n"; }
sqlite_index() {
  [ "$("$bin"/sqlite_index index bench.db 2048)" = "$records" ] || { echo "SQLite's index is short" >&2; exit 1; }
}
ours_sort() { ours "SORT sort.ctl -N"; }
gnu_sort() {
  LC_ALL=C sort --parallel=1 -S 2M -T tmp -t '|' -k1.11,1.16 -k1.1,1.10 data.txt -o sorted.txt
}
check_index() {
  ours "INDEX data.int keys.k verify -n" || return 1
}
check_sort() {
  ours "LOAD sorted.vxb" "RUN" || return 1
  [ "$(tail -n 1 ours.out | tr -d ' ')" = "$records" ] || { echo "SORT's output: $(tail -n 1 ours.out)" >&2; return 1; }
  [ "$(wc -l < sorted.txt)" = "$records" ] || { echo "GNU sort's output is short" >&2; exit 1; }
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
rate() { awk -v t="$1" -v n="$records" 'BEGIN { printf "%.0f", n / (t > 0 ? t : 0.001) }'; }

printf '%-8s %8s %12s  %-10s %8s %12s %8s\n' utility "ours s" "ours rec/s" peer "peer s" "peer rec/s" "ratio"
for u in index sort; do
  if [ $u = index ]; then mine=ours_index peer=sqlite_index peername=sqlite; else mine=ours_sort peer=gnu_sort peername="gnu sort"; fi
  ot=() pt=() ratios=() failed=
  for ((p = 0; p < pairs; ++p)); do
    [ $u = index ] && "$bin"/sqlite_index drop bench.db
    t=$(cpu $mine) || { failed=1; break; }
    ot+=("$t")
    t2=$(cpu $peer)
    pt+=("$t2")
    ratios+=("$(awk -v a="$t" -v b="$t2" 'BEGIN { printf "%.3f", b / (a > 0 ? a : 0.001) }')")
  done
  if [ -z "$failed" ]; then
    if [ $u = index ]; then check_index || failed=1; else check_sort || failed=1; fi
  fi
  if [ -n "$failed" ]; then
    printf '%-8s %8s %12s  %-10s\n' $u - - "$peername"
    continue
  fi
  om=$(printf '%s\n' "${ot[@]}" | median)
  pm=$(printf '%s\n' "${pt[@]}" | median)
  rm_=$(printf '%s\n' "${ratios[@]}" | median)
  printf '%-8s %8.3f %12s  %-10s %8.3f %12s %7.2fx\n' $u "$om" "$(rate "$om")" "$peername" "$pm" \
    "$(rate "$pm")" "$rm_"
done
