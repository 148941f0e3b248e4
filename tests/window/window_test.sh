#!/usr/bin/env bash
# The session in its desktop window under an X server of its own: chosen by VX_FRONTEND=gui and
# by an empty standard input with a display; refused with status 99 without a display; lines
# typed and answered in the cells; errors on the status bar in words; insert and overwrite; a
# program's window with border and caption; function keys, Escape and the attention key reaching
# the program; the font following the window's size, and the size kept for the next session;
# help in a dialog; what the window shows read back by text recognition of a screenshot.
# Usage: window_test.sh EXECUTABLE          (exit 77: Xvfb, xdotool, ImageMagick or tesseract missing)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/xvfb_lib.sh"

# ---- which front end ----
out=$(env -u DISPLAY -u WAYLAND_DISPLAY VX_FRONTEND=gui "$exe" 2>&1 < /dev/null)
rc=$?
[ $rc -eq 99 ] || fail "VX_FRONTEND=gui without a display ends with 99 (it was $rc)"
grep -q 'no display' <<< "$out" || fail "without a display the process says so: $out"
out=$(VX_FRONTEND=window "$exe" 2>&1 < /dev/null)
[ $? -eq 99 ] && grep -q 'gui, terminal and stream' <<< "$out" || fail "an unknown front end: $out"
# A pipe gives the stream front end even with a display set.
out=$(printf 'PRINT 6*7\nSYSTEM\n' | "$exe" 2>&1)
grep -q '^42$' <<< "$out" || fail "a pipe is the stream front end: $out"

# ---- lines in the window ----
start_session VX_FRONTEND=gui
[ "$(field status)" = "READY" ] || fail "the run status is READY"
expect_field title '^Veltrix! - workstation [0-9]+$'
line 'PRINT 40+2'
expect_row 23 '^42 *$'
line 'print 1/0'
expect_field message '^ERROR 6 at 00000:00  Division by zero'
line 'PRINT "AB"'
expect_field message '^$'
# Insert and overwrite: the mode on the status bar; typing over the middle of a line.
typed 'PRINT "XYZ"'
key Left Left Left Insert
expect_field mode '^OVER$'
typed 'Q'
key Return
expect_row 23 '^XQZ *$'
key Insert
expect_field mode '^INSERT$'
# Up recalls the last line; Escape empties the field.
key Up
expect_row 24 'PRINT "XQZ"'
key Escape
expect_row 24 '^ *$'
# Help opens in a dialog of its own, from the topic's start, until Escape closes it.
line 'HELP LIST'
wait_window 'LIST - command' || fail "HELP LIST opens its topic"
import -window root "$work/help.png"
ocr "$work/help.png" > "$work/help.txt"
grep -q 'LIST selection' "$work/help.txt" || { cat "$work/help.txt"; fail "the topic shows from its start"; }
key Escape
wait_window_gone 'LIST - command' || fail "Escape closes the help"
xdotool windowfocus --sync "$(window_id)" 2> /dev/null

# ---- a program's window, fields and keys ----
line '10 OPEN #1: "SROW=3,SCOL=10,EROW=8,ECOL=50,BORDER=D,CAPTION=Orders", DISPLAY, OUTPUT'
line '20 PRINT #1, FIELDS "2,3,C 20": "Customer name"'
line '30 INPUT #1, FIELDS "4,3,C 10": A$'
line '40 PRINT "KEY"; FKEY; A$'
line '50 IF FKEY <> 99 THEN 30'
line '60 CLOSE #1:'
line '70 FOR I = 1 TO 1E9 \ NEXT I'
line 'RUN'
expect 'Orders'
expect_row 2 '^ {8}\+Orders={30,}\+'
expect_row 4 '^ {8}\|  Customer name +\|'
typed 'HELLO'
key F5
expect 'KEY5 HELLO'
key Escape
expect 'KEY99'
expect_field status '^RUN$'
key ctrl+c
expect_field status '^ATTN$'
line 'CLEAR'
expect_field status '^READY$'

# ---- what a person sees: a screenshot read by text recognition ----
line 'PRINT "INVOICE TOTAL 12345"'
expect 'INVOICE TOTAL 12345'
shot "$work/console.png"
ocr "$work/console.png" > "$work/console.txt"
grep -q 'INVOICE TOTAL 12345' "$work/console.txt" || { cat "$work/console.txt"; fail "the screenshot shows the line"; }
grep -q 'READY' "$work/console.txt" || { cat "$work/console.txt"; fail "the screenshot shows the status bar"; }

# ---- the font follows the window; the size is kept ----
small=$(field font)
xdotool windowsize "$(window_id)" 1200 800
for ((i = 0; i < 50; i++)); do
  [ "$(field font)" -gt "$small" ] 2>/dev/null && break
  sleep 0.1
  line ''  # something to redraw
done
[ "$(field font)" -gt "$small" ] || fail "a larger window has a larger font ($small, $(field font))"
large=$(field font)
line 'SYSTEM 3'
stop_session
rc=$?
[ $rc -eq 3 ] || fail "SYSTEM 3 ends the window's process with 3 (it was $rc)"
grep -q 'Width=1200' "$work/.Veltrix!" || fail "the window's size is kept: $(cat "$work/.Veltrix!")"

# An empty standard input with a display opens the window by itself, at the size kept.
start_session
[ "$(field font)" = "$large" ] || fail "the next session has the size kept (font $(field font), was $large)"
# Closing the window (its close button) while a program runs or is stopped changes nothing;
# with no program active it ends the session as SYSTEM does.
line '10 FOR I = 1 TO 1E9 \ NEXT I'
line 'RUN'
expect_field status '^RUN$'
python3 "$(dirname "$0")/close_window.py" "$(window_id)" || fail "the close request could not be sent"
sleep 1
kill -0 "$vpid" 2> /dev/null || fail "closing the window while a program runs ends nothing"
key ctrl+c
expect_field status '^ATTN$'
python3 "$(dirname "$0")/close_window.py" "$(window_id)"
sleep 1
kill -0 "$vpid" 2> /dev/null || fail "closing the window while a program is stopped ends nothing"
line 'CLEAR'
expect_field status '^READY$'
python3 "$(dirname "$0")/close_window.py" "$(window_id)"
stop_session || fail "closing the window at the prompt ends the session with 0"
echo "window test passed"
