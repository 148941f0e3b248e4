#!/usr/bin/env bash
# The window front end side by side with the full-screen terminal front end (in a tmux pane of
# 80x25): start-up to the first drawn screen, and a program that draws a full 24x80 screen of
# fields (24 fields of 80 columns, PRINT FIELDS) 300 times and ends.  Wall-clock milliseconds,
# medians of ROUNDS alternating runs; the window runs under an X server of its own (Xvfb).
# Usage: bench/window/run.sh VELTRIX [ROUNDS]      (veltrix-window beside VELTRIX; default 7)
set -u
exe=$(realpath "$1")
rounds=${2:-7}
for tool in Xvfb xdotool tmux; do
  command -v $tool > /dev/null || { echo "$tool is not installed"; exit 2; }
done
work=$(mktemp -d)
xpid=""
cleanup() {
  tmux -L vxbench kill-server 2> /dev/null
  [ -n "$xpid" ] && kill "$xpid" 2> /dev/null
  wait 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9> "$work/display" 2> /dev/null &
xpid=$!
for ((i = 0; i < 100; i++)); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"

cat > "$work/fill.vxb" << 'PROGRAM'
5 OPTION BASE 1
10 DIM SPEC$(24)*20, ROW$(24)*80
20 FOR R = 1 TO 24 \ SPEC$(R) = STR$(R) & ",1,C 80" \ NEXT R
30 FOR K = 1 TO 300
40 FOR R = 1 TO 24 \ ROW$(R) = RPT$(CHR$(65 + MOD(R + K, 26)), 80) \ NEXT R
50 PRINT FIELDS MAT SPEC$: MAT ROW$
60 NEXT K
70 SYSTEM
PROGRAM

now() { date +%s%N; }
ms() { echo $((($2 - $1) / 1000000)); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Start-up: the window until its first paint; the terminal until its first screen shows.
window_start() {
  local snap="$work/snap.txt" t0 t1 pid
  rm -f "$snap"
  t0=$(now)
  (cd "$work" && exec env HOME="$work" VX_FRONTEND=gui VX_WINDOW_SNAPSHOT="$snap" "$exe" < /dev/null > /dev/null 2>&1) &
  pid=$!
  until grep -q '^painted=[1-9]' "$snap" 2> /dev/null; do sleep 0.001; done
  t1=$(now)
  local w
  w=$(xdotool search --name '^Veltrix' 2> /dev/null | tail -n 1)
  xdotool windowfocus --sync "$w" 2> /dev/null
  xdotool type 'SYSTEM'
  xdotool key Return
  wait $pid
  ms "$t0" "$t1"
}
terminal_start() {
  local t0 t1
  tmux -L vxbench kill-server 2> /dev/null
  t0=$(now)
  tmux -L vxbench -f /dev/null new-session -d -x 80 -y 25 -c "$work" "env TERM=screen HOME=$work $exe"
  until tmux -L vxbench capture-pane -p 2> /dev/null | grep -q 'F1 or HELP'; do sleep 0.001; done
  t1=$(now)
  tmux -L vxbench send-keys -l 'SYSTEM'
  tmux -L vxbench send-keys Enter
  for ((i = 0; i < 200; i++)); do tmux -L vxbench has-session 2> /dev/null || break; sleep 0.01; done
  ms "$t0" "$t1"
}
# The 300 screens of fields: the whole run (start-up included, measured above) until it ends.
window_fill() {
  local t0 t1
  t0=$(now)
  (cd "$work" && timeout 120 env HOME="$work" VX_FRONTEND=gui "$exe" RUN fill.vxb < /dev/null > /dev/null 2>&1)
  t1=$(now)
  ms "$t0" "$t1"
}
terminal_fill() {
  local t0 t1
  tmux -L vxbench kill-server 2> /dev/null
  rm -f "$work/ended"
  t0=$(now)
  tmux -L vxbench -f /dev/null new-session -d -x 80 -y 25 -c "$work" \
    "env TERM=screen HOME=$work $exe RUN fill.vxb; touch $work/ended"
  until [ -e "$work/ended" ]; do sleep 0.001; done
  t1=$(now)
  ms "$t0" "$t1"
}

for ((r = 0; r < rounds; r++)); do
  window_start >> "$work/ws"
  terminal_start >> "$work/ts"
  window_fill >> "$work/wf"
  terminal_fill >> "$work/tf"
done
ws=$(median < "$work/ws"); ts=$(median < "$work/ts")
wf=$(median < "$work/wf"); tf=$(median < "$work/tf")
printf '%-34s %10s %10s\n' "measure (ms, median of $rounds)" window terminal
printf '%-34s %10s %10s\n' "start-up to the first drawn screen" "$ws" "$ts"
printf '%-34s %10s %10s\n' "300 full screens of fields, run" "$wf" "$tf"
printf '%-34s %10s %10s\n' "  per screen, start-up taken off" \
  "$(awk -v a="$wf" -v b="$ws" 'BEGIN {printf "%.2f", (a - b) / 300}')" \
  "$(awk -v a="$tf" -v b="$ts" 'BEGIN {printf "%.2f", (a - b) / 300}')"
