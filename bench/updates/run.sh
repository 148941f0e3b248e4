#!/usr/bin/env bash
# Locked read-modify-write updates of random records of one shared keyed file by 1, 2, 4 and 8
# processes at once, ours against SQLite in WAL mode, in one run.  Ours: each copy runs a
# program doing UPDATES times READ KEY= (which locks the record), the counter plus one, REWRITE
# (the file opened SHR, the key file a B-tree); a read that finds the record locked is made
# again.  SQLite: each process does UPDATES times BEGIN IMMEDIATE; SELECT; UPDATE; COMMIT on a
# WITHOUT ROWID table keyed the same way, with a busy timeout.  Both over RECORDS records.
# Figures are updates per second of wall-clock time from the start of the first process to the
# end of the last (processes, not processors, are what contend here), the median of ROUNDS
# rounds, and every run is checked: the counters add up to processes x UPDATES.
# Two settings: ours as configured by default against SQLite's synchronous=NORMAL (neither puts
# a change on the disk before the statement returns), and ours with SYNC ON against SQLite's
# synchronous=FULL (both do).
# Usage: bench/updates/run.sh BUILD_DIR VELTRIX [ROUNDS]
#   BUILD_DIR holds sqlite_update, which the Makefile's bench target builds.
#   VX_UPDATES (default 2000 per process), VX_UPDATE_RECORDS (default 200),
#   VX_UPDATE_PROCS (default "1 2 4 8"), VX_UPDATE_SYNC (default "OFF ON") change the run.
#   VX_UPDATE_BEFORE, when set, is another build of ours (an earlier one), run the same way in
#   the same rounds and shown in a column of its own.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR VELTRIX [ROUNDS]" >&2; exit 2; }
bin=$(realpath "$1")
exe=$(realpath "$2")
rounds=${3:-3}
before=""
if [ -n "${VX_UPDATE_BEFORE:-}" ]; then
  before=$(realpath "$VX_UPDATE_BEFORE")
  [ -x "$before" ] || { echo "$VX_UPDATE_BEFORE: not an executable" >&2; exit 2; }
fi
updates=${VX_UPDATES:-2000}
records=${VX_UPDATE_RECORDS:-200}
read -r -a counts <<< "${VX_UPDATE_PROCS:-1 2 4 8}"
read -r -a syncs <<< "${VX_UPDATE_SYNC:-OFF ON}"
[ -x "$bin/sqlite_update" ] || { echo "$bin/sqlite_update is missing (make bench builds it)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

create() {
  printf '%s\n' \
    '10 OPEN #1: "NAME=c.dat,KFNAME=c.key,KPS=1,KLN=8,RECL=24,REPLACE", INTERNAL, OUTIN, KEYED' \
    "20 FOR I = 1 TO $records" '30 WRITE #1, USING 50: STR$(10000000 + I), 0' '40 NEXT I' \
    '45 CLOSE #1:' '50 FORM C 8, N 10' '60 END' 'RUN' | "$exe" > /dev/null
}
program() {  # the updater, waiting for its seed
  printf '%s\n' \
    "CONFIG SYNC $1" '10 OPEN #1: "NAME=c.dat,KFNAME=c.key,SHR", INTERNAL, OUTIN, KEYED' \
    '15 INPUT P' '20 LET X = RND(P)' "30 FOR I = 1 TO $updates" \
    "40 LET K\$ = STR\$(10000001 + INT(RND * $records))" \
    '50 READ #1, USING 100, KEY=K$: K$, C LOCKED 50' '60 REWRITE #1, USING 100: K$, C + 1' \
    '70 NEXT I' '80 CLOSE #1:' '95 END' '100 FORM C 8, N 10' 'RUN'
}
ours_sum() {
  printf '%s\n' '10 OPEN #1: "NAME=c.dat,KFNAME=c.key", INTERNAL, INPUT, KEYED' \
    '20 READ #1, USING 60: K$, C EOF 40' '30 LET S = S + C' '35 GOTO 20' '40 PRINT S' '50 END' \
    '60 FORM C 8, N 10' 'RUN' | "$exe" | tr -d ' '
}
now() { date +%s%N; }

# Wall-clock milliseconds of N copies of ours, all started before any is given its seed; the
# executable is $exe unless a third argument names another.
ours_run() {  # ours_run N SYNC [VELTRIX]
  local n=$1 p pids=() fds=() fd exe=${3:-$exe}
  create
  for ((p = 1; p <= n; ++p)); do
    rm -f "in$p"; mkfifo "in$p"
    (for f in "${fds[@]}"; do eval "exec $f>&-"; done; exec "$exe" < "in$p" > "out$p" 2> "err$p") &
    pids+=($!)
    exec {fd}> "in$p"
    fds+=("$fd")
    program "$2" >&"$fd"
  done
  sleep 0.3  # every copy has compiled its program and waits at INPUT
  local t0; t0=$(now)
  for ((p = 1; p <= n; ++p)); do echo "$p" >&"${fds[$((p - 1))]}"; done
  for fd in "${fds[@]}"; do eval "exec $fd>&-"; done
  for p in "${pids[@]}"; do wait "$p"; done
  local ms=$(( ($(now) - t0) / 1000000 ))
  for ((p = 1; p <= n; ++p)); do
    [ ! -s "err$p" ] || { echo "ours failed: $(cat "err$p")" >&2; exit 1; }
  done
  [ "$(ours_sum)" = "$((n * updates))" ] || { echo "ours: counters add up to $(ours_sum)" >&2; exit 1; }
  echo "$ms"
}
sqlite_run() {  # sqlite_run N SYNC
  local n=$1 p pids=() full=
  [ "$2" = ON ] && full=FULL
  rm -f u.db u.db-*
  "$bin"/sqlite_update create u.db "$records"
  local t0; t0=$(now)
  for ((p = 1; p <= n; ++p)); do "$bin"/sqlite_update update u.db "$records" "$updates" "$p" $full & pids+=($!); done
  for p in "${pids[@]}"; do wait "$p"; done
  local ms=$(( ($(now) - t0) / 1000000 ))
  [ "$("$bin"/sqlite_update sum u.db)" = "$((n * updates))" ] || { echo "SQLite's counters are wrong" >&2; exit 1; }
  echo "$ms"
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
rate() { awk -v ms="$1" -v n="$2" 'BEGIN { printf "%.0f", n * 1000 / (ms > 0 ? ms : 1) }'; }

printf '%-5s %5s %12s %12s %7s' sync procs "ours upd/s" "sqlite upd/s" ratio
[ -z "$before" ] || printf ' %12s %7s' "before upd/s" ratio
printf '\n'
for s in "${syncs[@]}"; do
  for n in "${counts[@]}"; do
    o=() q=() b=()
    for ((r = 0; r < rounds; ++r)); do
      o+=("$(ours_run "$n" "$s")")
      q+=("$(sqlite_run "$n" "$s")")
      [ -z "$before" ] || b+=("$(ours_run "$n" "$s" "$before")")
    done
    om=$(printf '%s\n' "${o[@]}" | median)
    qm=$(printf '%s\n' "${q[@]}" | median)
    total=$((n * updates))
    printf '%-5s %5d %12s %12s %6.2fx' "$s" "$n" "$(rate "$om" $total)" "$(rate "$qm" $total)" \
      "$(awk -v a="$om" -v b="$qm" 'BEGIN { print b / (a > 0 ? a : 1) }')"
    if [ -n "$before" ]; then
      bm=$(printf '%s\n' "${b[@]}" | median)
      printf ' %12s %6.2fx' "$(rate "$bm" $total)" "$(awk -v a="$om" -v b="$bm" 'BEGIN { print b / (a > 0 ? a : 1) }')"
    fi
    printf '\n'
  done
done
