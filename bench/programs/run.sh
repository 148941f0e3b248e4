#!/usr/bin/env bash
# Language-core workloads on our executable and on the peers, in one run: each pair of runs
# alternates ours and the peer's, and the median of the per-pair time ratios (peer / ours) is
# printed per workload and peer.  Every run's checksum (its last line of output) must agree.
# Usage: bench/programs/run.sh VELTRIX [PAIRS] [WORKLOAD ...]   (default: all six workloads)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
pairs=${2:-5}
shift $(( $# >= 2 ? 2 : 1 ))
workloads=("$@")
[ ${#workloads[@]} -eq 0 ] && workloads=(numloop sieve strings calls matrix strarrays)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/workloads/* "$work"/
cd "$work"

peers=(python3 brandy yabasic)
for p in "${peers[@]}"; do
  command -v "$p" > /dev/null || { echo "$p is not installed (scripts/deps.sh $p)" >&2; exit 1; }
done

# Runs one implementation of a workload; prints its checksum.
run() {
  local who=$1 w=$2
  case $who in
    veltrix) printf 'SYSTEM\n' | "$exe" RUN "$w.vxb" 2>&1 | tail -n 1 ;;
    python3) python3 "$w.py" | tail -n 1 ;;
    yabasic) yabasic "$w.yab" | tail -n 1 ;;
    brandy)
      cat "$w.bbc" footer.bbc > "$w.run.bbc"
      rm -f checksum.out
      SDL_VIDEODRIVER=dummy brandy -quit "$w.run.bbc" < /dev/null > /dev/null 2>&1 || true
      cat checksum.out 2>/dev/null || echo "(no checksum)" ;;
  esac
}

# Seconds (with fractions) one run takes; the checksum goes to the file $2.
timed() {
  local start end
  start=$(date +%s.%N)
  run "$1" "$3" > "$2"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

status=0
printf '%-9s %-8s %10s %10s %8s\n' workload peer "ours s" "peer s" "ratio"
for w in "${workloads[@]}"; do
  for p in "${peers[@]}"; do
    ratios=() ours=() theirs=()
    for ((i = 0; i < pairs; i++)); do
      a=$(timed veltrix ours.sum "$w")
      b=$(timed "$p" peer.sum "$w")
      if ! cmp -s ours.sum peer.sum; then
        echo "$w: checksums differ: ours '$(cat ours.sum)', $p '$(cat peer.sum)'" >&2
        status=1
        continue 2
      fi
      ours+=("$a") theirs+=("$b")
      ratios+=("$(echo "$b / $a" | bc -l)")
    done
    printf '%-9s %-8s %10.3f %10.3f %8.2f\n' "$w" "$p" \
      "$(printf '%s\n' "${ours[@]}" | median)" "$(printf '%s\n' "${theirs[@]}" | median)" \
      "$(printf '%s\n' "${ratios[@]}" | median)"
  done
done
exit $status
