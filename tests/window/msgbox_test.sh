#!/usr/bin/env bash
# MSGBOX in the window: a dialog of native controls with its title, icon, message and buttons;
# a button's first letter, Escape and Enter answer it, and the program gets the button's number;
# an unknown button set is error 305 on the status bar.
# Usage: msgbox_test.sh EXECUTABLE          (exit 77: Xvfb, xdotool, ImageMagick or tesseract missing)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/xvfb_lib.sh"

# Waits for the dialog titled $1 and gives it the keys that follow.
answer_box() {
  wait_window "$1" || fail "no dialog titled $1"
  shift
  [ $# -eq 0 ] || key "$@"
}

start_session VX_FRONTEND=gui
line '10 A = MSGBOX("Save the order?", "Orders", "YNC", "?")'
line '20 PRINT "ANSWER"; A'
line '30 B = MSGBOX("Printing ended.", "Printer", "OKC", "I")'
line '40 PRINT "B"; B'
line '50 C = MSGBOX("Replace the file?", "Files", "YN", "!")'
line '60 PRINT "C"; C'
line '70 D = MSGBOX("x", "Bad", "ZZ")'
line 'RUN'
answer_box Orders
import -window root "$work/box.png"
ocr "$work/box.png" > "$work/box.txt"
grep -q 'Save the order' "$work/box.txt" || { cat "$work/box.txt"; fail "the dialog shows the message"; }
grep -q 'Cancel' "$work/box.txt" || { cat "$work/box.txt"; fail "the dialog shows its buttons"; }
key n
expect '^ANSWER7 *$'
answer_box Printer Escape
expect '^B2 *$'
answer_box Files Return
expect '^C6 *$'
expect_field message '^ERROR 305 at 00070:01'
line 'SYSTEM'
stop_session || fail "SYSTEM ends the session with 0"
echo "msgbox test passed"
