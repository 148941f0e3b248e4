#!/usr/bin/env bash
# Copies of the real executable joining and leaving one workstation registry at random, each
# asking for a number of its own (WSID=UNIQUE): EVENTS starts and stops with up to LIVE copies
# at once (9, the sessions one machine can hold), a third of the stops by SIGKILL.  No two live
# copies ever hold one WSID, and the numbers of copies that ended (killed or not) are given
# again: no copy is ever given a number above LIVE, and once all have ended the next copy gets
# the first number.
# Usage: registry.sh VELTRIX [LIVE [EVENTS]]   (default: 9 copies, 120 events)
set -uo pipefail
exe=$1
most=${2:-9}
events=${3:-120}
. "$(dirname "$0")/../datafiles/copies.sh"
printf 'WSID 1+1\nWSID=UNIQUE\n' > unique.sys
ask() {  # ask NAME: a copy that prints its workstation number and waits
  start "$1" "-$work/unique.sys"
  type_in "$1" 'PRINT "WSID "; WSID$'
}
declare -A live=()  # copy name -> its number
started=0 killed=0 highest=0
for ((e = 1; e <= events; ++e)); do
  if [ ${#live[@]} -eq 0 ] || { [ ${#live[@]} -lt "$most" ] && [ $((RANDOM % 3)) -ne 0 ]; }; then
    name="c$e"
    ask "$name"
    await "$name.out" "WSID " || { cat "$name.err"; break; }
    n=$(sed -n 's/^WSID //p' "$name.out")
    for other in "${!live[@]}"; do
      [ "${live[$other]}" = "$n" ] && check "event $e: WSID $n" "held once" "also held by $other"
    done
    live[$name]=$n
    [ $((10#$n)) -gt $highest ] && highest=$((10#$n))
    started=$((started + 1))
  else
    names=("${!live[@]}")
    name=${names[$((RANDOM % ${#names[@]}))]}
    if [ $((RANDOM % 3)) -eq 0 ]; then
      pidvar="${name}_pid"
      kill -9 "${!pidvar}" 2>/dev/null
      killed=$((killed + 1))
    fi
    finish "$name" 2>/dev/null  # (bash reports the kill)
    unset "live[$name]"
  fi
  [ $fail -eq 0 ] || break
done
for name in "${!live[@]}"; do finish "$name"; done
[ "$highest" -le "$most" ] || check "highest number given" "at most $most" "$highest"
check "after every copy ended" "WSID 01" "$(printf 'PRINT "WSID "; WSID$\n' | "$exe" "-$work/unique.sys" 2>&1)"
echo "registry: $started copies started, $killed killed, numbers up to $highest"
exit $fail
