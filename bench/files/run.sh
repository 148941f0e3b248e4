#!/usr/bin/env bash
# Data-file workloads on our executable and on the peers (an SQLite database through its C API,
# COBOL sequential and relative files), in one run, over 200,000 records of 64 bytes:
#   write    sequential WRITE of every record;
#   readseq  sequential READ of every record, summing the amounts;
#   readrec  READ by record number of 200,000 records in a pseudo-random order, summing the
#            amounts: x = x * 16807 mod (2^31 - 1) from x = 1, record x mod 200000 + 1.
# Each round alternates our run and a peer's run, once per peer; the median over the rounds of
# each side's CPU time and of each pair's time ratio (peer / ours) is printed per workload, with
# the records per second the median time gives.  Every run's checksum (its last line of output)
# must be the known one: a peer that fails or disagrees fails the benchmark; our side failing is
# reported ("-" in the table, the end of its output on stderr) and the peers are still measured.
# Usage: bench/files/run.sh BUILD_DIR VELTRIX [PAIRS]   (default: 3 pairs)
#   BUILD_DIR holds sqlite_bench and cobol_bench, which the Makefile's bench target builds.
#
# Times are CPU seconds (user + system) of the run, not wall-clock time, as in
# bench/programs/run.sh: every side runs single-threaded, and the figure stays close to the
# quiet-machine one when other jobs share the processors.  Writes that the kernel has not yet put
# on disk are not waited for on any side.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR VELTRIX [PAIRS]" >&2; exit 2; }
bin=$(realpath "$1")
exe=$(realpath "$2")
pairs=${3:-3}
[ -x "$exe" ] || { echo "$2: not an executable" >&2; exit 2; }
for b in sqlite_bench cobol_bench; do
  [ -x "$bin/$b" ] || { echo "$bin/$b is missing (make bench builds it)" >&2; exit 2; }
done
# A run of ours that hangs (a loop that never sees end of file) is stopped after this many seconds.
limit=${VX_FILES_TIMEOUT:-120}

records=200000
workloads=(write readseq readrec)
peers=(sqlite cobol)
# The checksums every side must print: the number of records written; the sum over the records
# of (I mod 1000) + (I mod 997); the same sum over the records the random sequence visits.
declare -A expected=([write]=200000 [readseq]=199381500 [readrec]=199282732)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work"/ours "$work"/sqlite "$work"/cobol
cp "$here"/workloads/*.vxb "$work"/ours/
printf 'SYSTEM\n' > "$work"/ours/system.in

# Runs side $1 on workload $2 in its own directory, with its whole output, errors included, going
# to the file $3, whose last line is the checksum; a run that fails gets a last line saying so.
run() {
  local who=$1 w=$2 out=$3 rc=0
  cd "$work/$who"
  case $who in
    ours) timeout "$limit" "$exe" RUN "$w.vxb" < system.in > "$out" 2>&1 || rc=$? ;;
    sqlite) "$bin"/sqlite_bench "$w" bench.db > "$out" 2>&1 || rc=$? ;;
    cobol) "$bin"/cobol_bench "$w" > "$out" 2>&1 || rc=$? ;;
  esac
  [ $rc -eq 0 ] || echo "(exit status $rc)" >> "$out"
}

# CPU seconds one run of side $1 on workload $3 takes; its output goes to the file $2.
timed() {
  local TIMEFORMAT='%3U %3S' t
  # A fresh database for every write: the time is that of creating it, not of emptying the old one.
  [ "$1/$3" = sqlite/write ] && rm -f "$work"/sqlite/bench.db "$work"/sqlite/bench.db-*
  t=$( { time (run "$1" "$3" "$2"); } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f\n", a[1] + a[2] }'
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
# Records per second at the median time $1.
rate() { awk -v t="$1" -v n=$records 'BEGIN { printf "%.0f", n / (t > 0 ? t : 0.001) }'; }
checksum() { tail -n 1 "$1" | tr -d ' \r'; }


printf '%-8s %8s %10s' workload "ours s" "ours rec/s"
for p in "${peers[@]}"; do printf ' | %8s %10s %6s' "$p s" "rec/s" ratio; done
printf '\n'
for w in "${workloads[@]}"; do
  # The relative file the COBOL side reads by record number is written once, before its rounds,
  # and timed on its own.
  relative=()
  if [ "$w" = readrec ]; then
    for ((i = 0; i < pairs; i++)); do
      t=$(timed cobol "$work"/rel.out writerel)
      if [ "$(checksum "$work"/rel.out)" != "$records" ]; then
        echo "cobol: writing the relative file failed:" >&2
        tail -n 4 "$work"/rel.out | sed 's/^/    /' >&2
        exit 1
      fi
      relative+=("$t")
    done
  fi
  declare -A ratios=() theirs=()
  ours=()
  ours_ok=1
  for ((i = 0; i < pairs; i++)); do
    for p in "${peers[@]}"; do
      [ $ours_ok -eq 1 ] && a=$(timed ours "$work"/ours.out "$w")
      b=$(timed "$p" "$work"/peer.out "$w")
      if [ "$(checksum "$work"/peer.out)" != "${expected[$w]}" ]; then
        {
          echo "$w: $p's checksum is '$(tail -n 1 "$work"/peer.out)', not ${expected[$w]}"
          echo "  the end of $p's output:" && tail -n 4 "$work"/peer.out | sed 's/^/    /'
        } >&2
        exit 1
      fi
      theirs[$p]+="$b "
      [ $ours_ok -eq 1 ] || continue
      if [ "$(checksum "$work"/ours.out)" != "${expected[$w]}" ]; then
        {
          echo "$w: our checksum is '$(tail -n 1 "$work"/ours.out)', not ${expected[$w]}; ours not measured"
          echo "  the end of our output:" && tail -n 4 "$work"/ours.out | sed 's/^/    /'
        } >&2
        ours_ok=0
        continue
      fi
      ours+=("$a")
      # A run too short for the clock's resolution counts as one millisecond.
      ratios[$p]+="$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.4f", b / (a > 0 ? a : 0.001) }') "
    done
  done
  if [ $ours_ok -eq 1 ] && [ ${#ours[@]} -gt 0 ]; then
    m=$(printf '%s\n' "${ours[@]}" | median)
    printf '%-8s %8.3f %10s' "$w" "$m" "$(rate "$m")"
  else
    printf '%-8s %8s %10s' "$w" - -
  fi
  for p in "${peers[@]}"; do
    m=$(printf '%s\n' ${theirs[$p]} | median)
    if [ $ours_ok -eq 1 ] && [ -n "${ratios[$p]:-}" ]; then
      printf ' | %8.3f %10s %6.2f' "$m" "$(rate "$m")" "$(printf '%s\n' ${ratios[$p]} | median)"
    else
      printf ' | %8.3f %10s %6s' "$m" "$(rate "$m")" -
    fi
  done
  printf '\n'
  if [ ${#relative[@]} -gt 0 ]; then
    m=$(printf '%s\n' "${relative[@]}" | median)
    printf '%-8s %8s %10s | %8s %10s %6s | %8.3f %10s %6s   (cobol: writing its relative file)\n' \
      "(rel)" "" "" "" "" "" "$m" "$(rate "$m")" ""
  fi
  unset ratios theirs
done
echo "sqlite: journal_mode=WAL, synchronous=NORMAL, default page cache; inserts in one transaction"
exit 0
