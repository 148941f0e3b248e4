#!/usr/bin/env bash
# Data-file workloads on our executable and on the peers (an SQLite database through its C API,
# COBOL sequential and relative files), in one run, over 200,000 records of 64 bytes:
#   write    sequential WRITE of every record;
#   readseq  sequential READ of every record, summing the amounts;
#   readrec  READ by record number of 200,000 records in a pseudo-random order, summing the
#            amounts: x = x * 16807 mod (2^31 - 1) from x = 1, record x mod 200000 + 1;
# and on a keyed file (an SQLite table whose primary key is the record's 10-character key, a
# COBOL indexed file):
#   kcreate  creates the keyed file and WRITEs every record in a scattered key order: for
#            J = 0..199999, record (J * 7919) mod 200000 + 1;
#   kread    READ by key of the 200,000 records readrec reads, in the same order, summing the
#            amounts;
#   kreadshr kread with our file opened shared (the peers run their kread);
#   kseq     sequential READ of every record in key order, summing the amounts;
#   krewrite READ of every record in key order, each REWRITten with the first letter of its name
#            turned from upper to lower case or back, summing the amounts read.
# A workload reading a file another one writes (readseq and readrec: write's; the keyed reads:
# kcreate's) finds it from that workload's last round when both are run, and otherwise has it
# written once, untimed, by each side before its rounds.
# Each round alternates our run and a peer's run, once per peer; the median over the rounds of
# each side's CPU time and of each pair's time ratio (peer / ours) is printed per workload, with
# the records per second the median time gives.  Every run's checksum (its last line of output)
# must be the known one: a peer that fails or disagrees fails the benchmark; our side failing is
# reported ("-" in the table, the end of its output on stderr) and the peers are still measured.
# Usage: bench/files/run.sh BUILD_DIR VELTRIX [PAIRS]   (default: 3 pairs)
#   BUILD_DIR holds sqlite_bench and cobol_bench, which the Makefile's bench target builds.
#   VX_FILES_CONFIG, when set, is a configuration file our side starts with (for example one
#   saying OPTION 22 ON, so that key files are made in format 2).
#   VX_FILES_WORKLOADS, when set, is the list of the workloads to run (default: all of them, in
#   the order above), e.g. VX_FILES_WORKLOADS="kcreate kread kseq krewrite".
#   VX_FILES_BEFORE, when set, is another build of ours (an earlier one), measured as one more
#   peer ("before") on the very same workloads, kreadshr included.
# After kcreate and kread, SQLite's kcreate and kread are also run with a 64 MiB page cache, which
# holds the whole database, and shown on a line of their own.
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
ours_args=()
if [ -n "${VX_FILES_CONFIG:-}" ]; then ours_args=("-$(realpath "$VX_FILES_CONFIG")"); fi

records=200000
all=(write readseq readrec kcreate kread kreadshr kseq krewrite)
read -r -a workloads <<< "${VX_FILES_WORKLOADS:-${all[*]}}"
[ ${#workloads[@]} -gt 0 ] || { echo "VX_FILES_WORKLOADS names no workload" >&2; exit 2; }
for w in "${workloads[@]}"; do
  [[ " ${all[*]} " == *" $w "* ]] || { echo "unknown workload '$w' (known: ${all[*]})" >&2; exit 2; }
done
peers=(sqlite cobol)
before=""
if [ -n "${VX_FILES_BEFORE:-}" ]; then
  before=$(realpath "$VX_FILES_BEFORE")
  [ -x "$before" ] || { echo "$VX_FILES_BEFORE: not an executable" >&2; exit 2; }
  peers+=(before)
fi
# The checksums every side must print: the number of records written; the sum over the records
# of (I mod 1000) + (I mod 997); the same sum over the records the random sequence visits.
declare -A expected=([write]=200000 [readseq]=199381500 [readrec]=199282732
  [kcreate]=200000 [kread]=199282732 [kreadshr]=199282732 [kseq]=199381500 [krewrite]=199381500)
# The workload that writes the file a workload reads.
declare -A source=([readseq]=write [readrec]=write
  [kread]=kcreate [kreadshr]=kcreate [kseq]=kcreate [krewrite]=kcreate)
# The peers' counterpart of a workload of ours, where it is not the workload itself.
declare -A peer_workload=([kreadshr]=kread)
# The sides ("side/workload") whose file a writing workload has written during this run.
declare -A written=()

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work"/ours "$work"/sqlite "$work"/cobol "$work"/before
cp "$here"/workloads/*.vxb "$work"/ours/
cp "$here"/workloads/*.vxb "$work"/before/
printf 'SYSTEM\n' > "$work"/ours/system.in
printf 'SYSTEM\n' > "$work"/before/system.in

# Runs side $1 on workload $2 in its own directory, with its whole output, errors included, going
# to the file $3, whose last line is the checksum; a run that fails gets a last line saying so.
run() {
  local who=$1 w=$2 out=$3 rc=0
  cd "$work/$who"
  case $who in
    ours) timeout "$limit" "$exe" "${ours_args[@]}" RUN "$w.vxb" < system.in > "$out" 2>&1 || rc=$? ;;
    before) timeout "$limit" "$before" "${ours_args[@]}" RUN "$w.vxb" < system.in > "$out" 2>&1 || rc=$? ;;
    sqlite)
      case $w in
        k*big) "$bin"/sqlite_bench "${w%big}" kbench.db 65536 > "$out" 2>&1 || rc=$? ;;
        k*) "$bin"/sqlite_bench "$w" kbench.db > "$out" 2>&1 || rc=$? ;;
        *) "$bin"/sqlite_bench "$w" bench.db > "$out" 2>&1 || rc=$? ;;
      esac ;;
    cobol) "$bin"/cobol_bench "$w" > "$out" 2>&1 || rc=$? ;;
  esac
  [ $rc -eq 0 ] || echo "(exit status $rc)" >> "$out"
}

# CPU seconds one run of side $1 on workload $3 takes; its output goes to the file $2.
timed() {
  local TIMEFORMAT='%3U %3S' t
  # A fresh database for every write: the time is that of creating it, not of emptying the old one.
  [ "$1/$3" = sqlite/write ] && rm -f "$work"/sqlite/bench.db "$work"/sqlite/bench.db-*
  [ "$1/${3%big}" = sqlite/kcreate ] && rm -f "$work"/sqlite/kbench.db "$work"/sqlite/kbench.db-*
  t=$( { time (run "$1" "$3" "$2"); } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f\n", a[1] + a[2] }'
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
# Records per second at the median time $1.
rate() { awk -v t="$1" -v n=$records 'BEGIN { printf "%.0f", n / (t > 0 ? t : 0.001) }'; }
checksum() { tail -n 1 "$1" | tr -d ' \r'; }

# Has every side that has not yet written the file workload $1 reads write it, once, untimed.  A
# peer that fails fails the benchmark; our failing is reported, and our runs reading the file
# then fail on their own.
prepare() {
  local src=${source[$1]:-} who
  [ -n "$src" ] || return 0
  for who in ours "${peers[@]}"; do
    [ -z "${written[$who/$src]:-}" ] || continue
    written[$who/$src]=1
    timed "$who" "$work"/prepare.out "$src" > /dev/null
    [ "$(checksum "$work"/prepare.out)" = "${expected[$src]}" ] && continue
    echo "$who: $src, run to write the file $1 reads, failed:" >&2
    tail -n 4 "$work"/prepare.out | sed 's/^/    /' >&2
    [ $who = ours ] || exit 1
  done
}

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
  prepare "$w"
  pw=${peer_workload[$w]:-$w}
  declare -A ratios=() theirs=()
  ours=()
  ours_ok=1
  for ((i = 0; i < pairs; i++)); do
    for p in "${peers[@]}"; do
      [ $ours_ok -eq 1 ] && a=$(timed ours "$work"/ours.out "$w")
      # The earlier build of ours runs our own workload (kreadshr too).
      pwp=$pw
      [ "$p" = before ] && pwp=$w
      b=$(timed "$p" "$work"/peer.out "$pwp")
      written[$p/$pwp]=1
      if [ "$(checksum "$work"/peer.out)" != "${expected[$w]}" ]; then
        {
          echo "$pwp: $p's checksum is '$(tail -n 1 "$work"/peer.out)', not ${expected[$w]}"
          echo "  the end of $p's output:" && tail -n 4 "$work"/peer.out | sed 's/^/    /'
        } >&2
        exit 1
      fi
      theirs[$p]+="$b "
      [ $ours_ok -eq 1 ] || continue
      written[ours/$w]=1
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
    ours_median=$m
    printf '%-8s %8.3f %10s' "$w" "$m" "$(rate "$m")"
  else
    ours_median=
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
  # SQLite's inserts and random reads again with a page cache that holds the whole database, in
  # rounds of their own; the ratio is that of the medians.
  if [ "$w" = kcreate ] || [ "$w" = kread ]; then
    big=()
    for ((i = 0; i < pairs; i++)); do
      big+=("$(timed sqlite "$work"/peer.out "${w}big")")
      if [ "$(checksum "$work"/peer.out)" != "${expected[$w]}" ]; then
        echo "$w: sqlite's checksum with the big cache is '$(tail -n 1 "$work"/peer.out)'" >&2
        exit 1
      fi
    done
    m=$(printf '%s\n' "${big[@]}" | median)
    r=-
    [ -n "$ours_median" ] &&
      r=$(awk -v a="$ours_median" -v b="$m" 'BEGIN { printf "%.2f", b / (a > 0 ? a : 0.001) }')
    printf '%-8s %8s %10s | %8.3f %10s %6s | %8s %10s %6s   (sqlite: 64 MiB page cache)\n' \
      "(big)" "" "" "$m" "$(rate "$m")" "$r" "" "" ""
  fi
  unset ratios theirs
done
echo "sqlite: journal_mode=WAL, synchronous=NORMAL, default page cache; inserts in one transaction"
[[ " ${workloads[*]}" == *" k"* ]] &&
  echo "sqlite keyed: WITHOUT ROWID table keyed by the 10-character key; kread in one read transaction"
exit 0
