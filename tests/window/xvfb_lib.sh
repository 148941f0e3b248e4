# Shared by the window tests: an X server of their own (Xvfb), the session started in its
# window, keys typed with xdotool, the window's cells read from the snapshot file the front end
# writes (VX_WINDOW_SNAPSHOT), screenshots with ImageMagick and text recognition with tesseract.
# Set before sourcing: exe (the console executable; veltrix-window lies beside it).
# Provides: start_session, typed, key, line, screen, expect, expect_row, field, expect_field,
# expect_control, fail, window_id, wait_window, wait_window_gone, shot, ocr, stop_session.
for tool in Xvfb xdotool import tesseract; do
  if ! command -v $tool >/dev/null; then
    echo "$tool is not installed: the window test is skipped"
    exit 77
  fi
done
[ -x "$(dirname "$exe")/veltrix-window" ] || { echo "no veltrix-window beside $exe"; exit 77; }
# The window system's libraries keep caches until the process ends: a sanitizer build would
# report them as leaks and change the exit status the tests check.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
work=$(mktemp -d)
snap="$work/snapshot.txt"
xpid=""
vpid=""
cleanup() {
  [ -n "$vpid" ] && kill "$vpid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The X server on a display number it picks itself.
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9> "$work/display" 2> "$work/xvfb.log" &
xpid=$!
for ((i = 0; i < 100; i++)); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

fail() {
  echo "FAIL: $1"
  echo "---- the window ----"
  cat "$snap" 2>/dev/null
  echo "--------------------"; cat "$work/session.err" 2>/dev/null | tail -5
  exit 1
}
screen() { head -n 24 "$snap" 2>/dev/null; }
# A status or other field of the snapshot: `field status`.
field() { sed -n "s/^$1=//p" "$snap" 2>/dev/null; }
source "$(dirname "${BASH_SOURCE[0]}")/../support/expect_lib.sh"
expect_field() {
  local i
  for ((i = 0; i < 150; i++)); do
    field "$1" | grep -Eq -- "$2" && return 0
    sleep 0.1
  done
  fail "expected $1 /$2/ (it is '$(field "$1")')"
}
# Waits until the snapshot describes a control (a widget) matching $1: "window,row,column kind ...".
expect_control() {
  local i
  for ((i = 0; i < 150; i++)); do
    grep -Eq -- "^control=$1" "$snap" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "expected control /$1/"
}

# Starts the session in the work directory with `env` settings before the command: e.g.
# `start_session VX_FRONTEND=gui`; then waits for its window.
start_session() {
  rm -f "$snap"
  (cd "$work" && exec env HOME="$work" VX_WINDOW_SNAPSHOT="$snap" "$@" "$exe" < /dev/null \
     > "$work/session.out" 2> "$work/session.err") &
  vpid=$!
  local i
  for ((i = 0; i < 150; i++)); do
    [ -s "$snap" ] && window_id > /dev/null && break
    sleep 0.1
  done
  window_id > /dev/null || { cat "$work/session.err"; fail "the window did not open"; }
  xdotool windowfocus --sync "$(window_id)" 2>/dev/null
  expect 'F1 or HELP'
}
# Waits until the session's process has ended; its exit status.
stop_session() {
  wait "$vpid"
  local rc=$?
  vpid=""
  return $rc
}
window_id() { xdotool search --name '^Veltrix' 2>/dev/null | tail -n 1; }
# Waits for a window titled exactly $1 (15 s) and focuses it; its id in `found` (empty when none
# came).
wait_window() {
  local i
  found=""
  for ((i = 0; i < 150; i++)); do
    found=$(xdotool search --name "^$1\$" 2> /dev/null | tail -n 1)
    [ -n "$found" ] && break
    sleep 0.1
  done
  [ -n "$found" ] || return 1
  sleep 0.3  # mapped and drawn
  xdotool windowfocus --sync "$found" 2> /dev/null
  return 0
}
# Waits until no window is titled exactly $1 (10 s); false when one still is.
wait_window_gone() {
  local i
  for ((i = 0; i < 100; i++)); do
    xdotool search --name "^$1\$" > /dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
typed() { xdotool type --delay 15 -- "$1"; }
key() { xdotool key --delay 30 "$@"; }
line() { typed "$1"; key Return; }
# A screenshot of the window into the file named.
shot() { import -window "$(window_id)" "$1"; }
# The text tesseract reads in a screenshot, enlarged first (the console's font is small for it).
ocr() { convert "$1" -resize 200% "$1.big.png" && tesseract "$1.big.png" - 2>/dev/null; }
