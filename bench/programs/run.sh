#!/usr/bin/env bash
# Language-core workloads on our executable and on the peers (python3, Lua 5.4, brandy, yabasic),
# in one run.  Each round alternates our run and a peer's run, once per peer that has the workload;
# the median over the rounds of each pair's time ratio (peer / ours) is printed per workload and
# peer.  Every run's checksum (its last line of output) must agree, or the run fails.
# Usage: bench/programs/run.sh VELTRIX [PAIRS] [WORKLOAD ...]   (default: 5 pairs, all workloads)
#
# Times are CPU seconds (user + system) of the run and its helpers, not wall-clock time: all sides
# run single-threaded, and CPU time stays close to the quiet-machine figure when other jobs share
# the processors, where wall-clock time can double.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { echo "usage: $0 VELTRIX [PAIRS] [WORKLOAD ...]" >&2; exit 2; }
exe=$(realpath "$1")
[ -x "$exe" ] || { echo "$1: not an executable" >&2; exit 2; }
pairs=${2:-5}
shift $(( $# >= 2 ? 2 : 1 ))
workloads=("$@")
[ ${#workloads[@]} -eq 0 ] &&
  workloads=(numloop sieve strings calls matrix strarrays gotosieve report lookup shellsort)

# The interpreter of Debian's python3 package by its path: a version manager's shim found first on
# PATH would add its own start-up (a quarter of a second per run) to every python3 time.
python=${PYTHON3:-/usr/bin/python3}
peers=(python3 lua5.4 brandy yabasic)
for p in "${peers[@]}"; do
  cmd=$p
  [ "$p" = python3 ] && cmd=$python
  command -v "$cmd" > /dev/null || { echo "$cmd is not installed (scripts/deps.sh $p)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/workloads/* "$work"/
cd "$work"
printf 'SYSTEM\n' > system.in
for w in "${workloads[@]}"; do
  [ -f "$w.vxb" ] || { echo "$w: no such workload ($here/workloads/$w.vxb)" >&2; exit 2; }
  # brandy writes the checksum to a file through the shared footer; joined once, outside the timing.
  if [ -f "$w.bbc" ]; then cat "$w.bbc" footer.bbc > "$w.run.bbc"; fi
done

# The source file of workload $2 for implementation $1; fails when the workload has none.
source_of() {
  local f
  case $1 in
    python3) f=$2.py ;;
    lua5.4) f=$2.lua ;;
    brandy) f=$2.run.bbc ;;
    yabasic) f=$2.yab ;;
  esac
  [ -f "$f" ] && echo "$f"
}

# Runs implementation $1 of workload $2 with its whole output, errors included, going to the file
# $3, whose last line is the checksum; a run that fails gets a last line saying so.
run() {
  local who=$1 w=$2 out=$3 rc=0
  case $who in
    veltrix) "$exe" RUN "$w.vxb" < system.in > "$out" 2>&1 || rc=$? ;;
    python3) "$python" "$w.py" > "$out" 2>&1 || rc=$? ;;
    lua5.4) lua5.4 "$w.lua" > "$out" 2>&1 || rc=$? ;;
    yabasic) yabasic "$w.yab" > "$out" 2>&1 || rc=$? ;;
    brandy)
      rm -f checksum.out
      SDL_VIDEODRIVER=dummy brandy -quit "$w.run.bbc" < /dev/null > "$out" 2>&1 || rc=$?
      cat checksum.out >> "$out" 2>/dev/null || echo "(no checksum)" >> "$out" ;;
  esac
  [ $rc -eq 0 ] || echo "(exit status $rc)" >> "$out"
}

# CPU seconds one run of $1 on workload $3 takes; its output goes to the file $2.
timed() {
  local TIMEFORMAT='%3U %3S' t
  t=$( { time run "$1" "$3" "$2"; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f\n", a[1] + a[2] }'
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

status=0
printf '%-10s %8s' workload "ours s"
for p in "${peers[@]}"; do printf ' | %9s %6s' "$p s" ratio; done
printf '\n'
for w in "${workloads[@]}"; do
  declare -A ratios=() theirs=()
  ours=()
  failed=()
  for ((i = 0; i < pairs; i++)); do
    for p in "${peers[@]}"; do
      source_of "$p" "$w" > /dev/null || continue
      [[ " ${failed[*]} " == *" $p "* ]] && continue
      a=$(timed veltrix ours.out "$w")
      b=$(timed "$p" peer.out "$w")
      if [ "$(tail -n 1 ours.out)" != "$(tail -n 1 peer.out)" ]; then
        {
          echo "$w: checksums differ: ours '$(tail -n 1 ours.out)', $p '$(tail -n 1 peer.out)'"
          echo "  the end of our output:" && tail -n 4 ours.out | sed 's/^/    /'
          echo "  the end of $p's output:" && tail -n 4 peer.out | sed 's/^/    /'
        } >&2
        status=1 failed+=("$p")
        continue
      fi
      ours+=("$a")
      theirs[$p]+="$b "
      # A run too short for the clock's resolution counts as one millisecond.
      ratios[$p]+="$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.4f", b / (a > 0 ? a : 0.001) }') "
    done
  done
  if [ ${#ours[@]} -eq 0 ]; then
    printf '%-10s %8s' "$w" -
  else
    printf '%-10s %8.3f' "$w" "$(printf '%s\n' "${ours[@]}" | median)"
  fi
  for p in "${peers[@]}"; do
    if [ -n "${ratios[$p]:-}" ]; then
      printf ' | %9.3f %6.2f' "$(printf '%s\n' ${theirs[$p]} | median)" \
        "$(printf '%s\n' ${ratios[$p]} | median)"
    else
      printf ' | %9s %6s' - -
    fi
  done
  printf '\n'
  unset ratios theirs
done
exit $status
