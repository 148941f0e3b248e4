# Shared by the terminal tests: a tmux server of their own, a shell pane, keys sent as typed and
# the pane's text checked, the screen shown in the log when a check fails.
# Set before sourcing: exe (the executable).  Provides: start_pane, screen, attrs, keys, line,
# fail, expect, expect_row, count, status.
if ! command -v tmux >/dev/null; then
  echo "tmux is not installed: the terminal test is skipped"
  exit 77
fi
work=$(mktemp -d)
sock="vxterm$$"
pane="vx"
cleanup() {
  tmux -L "$sock" kill-server 2>/dev/null
  sleep 0.2  # the pane's processes end on the hang-up
  rm -rf "$work"
}
trap cleanup EXIT

screen() { tmux -L "$sock" capture-pane -p -t "$pane"; }
# The pane with its attributes as escape sequences.
attrs() { tmux -L "$sock" capture-pane -p -e -t "$pane"; }
keys() { tmux -L "$sock" send-keys -t "$pane" "$@"; }
line() { keys -l "$1"; keys Enter; }
fail() {
  echo "FAIL: $1"
  echo "---- the screen ----"
  screen
  echo "--------------------"
  exit 1
}
source "$(dirname "${BASH_SOURCE[0]}")/../support/expect_lib.sh"
count() { screen | grep -Ec -- "$1"; }
# The status line is the row below the console's 24: row 25.
status() { expect_row 25 "$1"; }

# A shell in a 100x30 pane in the work directory.
start_pane() {
  tmux -L "$sock" -f /dev/null new-session -d -s "$pane" -x 100 -y 30 -c "$work" \
    "env -i PATH=$PATH HOME=$work HISTFILE= TERM=screen PS1='shell\$ ' bash --norc --noprofile" ||
    { echo "tmux could not start a session"; exit 1; }
  expect '^shell\$'
}

# A shell in a pane of the given size (columns, rows): `start_pane_size 80 24`.
start_pane_size() {
  tmux -L "$sock" -f /dev/null new-session -d -s "$pane" -x "$1" -y "$2" -c "$work" \
    "env -i PATH=$PATH HOME=$work HISTFILE= TERM=screen PS1='shell\$ ' bash --norc --noprofile" ||
    { echo "tmux could not start a session"; exit 1; }
  expect '^shell\$'
}
# Row N does not match.
refute_row() {
  if screen | sed -n "$1p" | grep -Eq -- "$2"; then fail "row $1 must not show /$2/"; fi
}
# The terminal's cursor as "column,row", both from 0.
cursor() { tmux -L "$sock" display -p -t "$pane" '#{cursor_x},#{cursor_y}'; }
