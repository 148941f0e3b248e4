#!/usr/bin/env bash
# Native printing in the window: PREVIEW: opens a print preview window of the job's pages
# (text recognition reads the page there) beside the session, which goes on; WIN: opens the
# desktop's print dialog, which Escape cancels without an error; no PDF file is left; the
# preview closes as any window does.
# Usage: printing_test.sh EXECUTABLE        (exit 77: Xvfb, xdotool, ImageMagick or tesseract missing)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/xvfb_lib.sh"

mkdir -p "$work/spool"
printf 'SPOOLPATH spool\n' > "$work/win.sys"
start_session VX_FRONTEND=gui
line 'CONFIG win.sys'
line '10 OPEN #1: "NAME=PREVIEW:/10", DISPLAY, OUTPUT'
line '20 PRINT #1: "INVOICE 4711"'
line '30 PRINT #1: "TOTAL DUE 56.78"'
line '40 CLOSE #1:'
line '50 PRINT "PREVIEWED"'
line '55 LET T=TIMER'
line '56 IF TIMER-T<4 THEN GOTO 56'
line '60 OPEN #2: "NAME=WIN:/10", DISPLAY, OUTPUT'
line '70 PRINT #2: "PRINTED PAGE"'
line '80 CLOSE #2:'
line '90 PRINT "DIALOG CLOSED"'
line 'RUN'
wait_window 'Print preview' || fail "no preview window"
expect '^PREVIEWED'
sleep 1.5
import -window "$found" "$work/preview.png"
ocr "$work/preview.png" > "$work/preview.txt"
grep -q 'INVOICE 4711' "$work/preview.txt" || { cat "$work/preview.txt"; fail "the preview shows the page"; }
# The session goes on beside the preview: the print dialog of WIN: (its title is the desktop's);
# Escape cancels it.
for ((i = 0; i < 150; i++)); do
  dialog=$(xdotool search --onlyvisible --name "^Print\$" 2>/dev/null | tail -n 1)
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "no print dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null
xdotool mousemove --window "$dialog" 20 20 click 1; sleep 0.3; key Escape
expect '^DIALOG CLOSED'
[ -z "$(ls "$work/spool")" ] || { ls "$work/spool"; fail "the jobs leave no files"; }
# The preview closes as any window does, and the session has the keys again.
python3 "$(dirname "$0")/close_window.py" "$found" || fail "the close request could not be sent"
wait_window_gone 'Print preview' || fail "the preview window stays"
xdotool windowfocus --sync "$(window_id)" 2>/dev/null
xdotool mousemove --window "$(window_id)" 200 200 click 1
line 'SYSTEM'
stop_session || fail "SYSTEM ends the session with 0"
echo "printing test passed"
