#!/usr/bin/env bash
# The menu bar a program sets with DISPLAY MENU: its entries with their lists on the window's
# menu bar (a grayed item cannot be chosen); choosing an item with the keyboard ends the field
# input with FKEY 98, and MENU and MENU$ name the item chosen; a running program's ON EVENT line
# takes a choice made while it runs; DISPLAY BUTTONS makes a tool bar whose buttons give their keys.
# Usage: menu_test.sh EXECUTABLE            (exit 77: Xvfb, xdotool, ImageMagick or tesseract missing)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/xvfb_lib.sh"

cat > "$work/menu.txt" <<'PROGRAM'
10 OPTION BASE 1
20 DIM M$(6),S$(6)
30 DATA "&File",".&Open",".-",".E&xit","&Help",".&About"
40 READ MAT M$
50 LET S$(4)="G"
60 DISPLAY MENU: MAT M$,MAT M$,MAT S$
70 INPUT FIELDS "5,2,C 5": A$
80 PRINT "KEY";FKEY;"ITEM";MENU;MENU$
90 ON EVENT GOTO 120
100 LET T=TIMER
110 IF TIMER-T<20 THEN GOTO 110
115 PRINT "NO EVENT"
116 STOP
120 PRINT "EVENT";MENU;MENU$
122 DIM B$(2),K(2)
124 DATA "Save","Quit",5,99
126 READ MAT B$,MAT K
130 DISPLAY BUTTONS: MAT B$,MAT K
140 INPUT FIELDS "6,2,C 5": A$
150 PRINT "BUTTON";FKEY
160 END
PROGRAM
start_session VX_FRONTEND=gui
line 'LOAD "menu.txt",SOURCE'
line 'RUN'
expect_field menu '^&File\|\.&Open\|\.-\|\.E&xit\|&Help\|\.&About\|$'
sleep 0.5
import -window root "$work/menu.png"
ocr "$work/menu.png" | grep -q 'File' || fail "the menu bar shows File"
# Alt and an entry's letter open its list; Down reaches its first item.
key alt+f Down Return
expect '^KEY98 ITEM2 &Open *$'
expect_field menuchosen '^2$'
sleep 0.5
key alt+h Down Return
expect '^EVENT6 &About *$'
# The tool bar of DISPLAY BUTTONS: a click gives the button's key.
for ((i = 0; i < 150; i++)); do
  grep -q '^toolbutton=Quit key=25344 at=' "$snap" && break
  sleep 0.1
done
at=$(sed -n 's/^toolbutton=Save key=1280 at=//p' "$snap")
[ -n "$at" ] || fail "the tool bar has its buttons"
IFS=, read -r x y w h <<< "$at"
sleep 0.5
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
expect '^BUTTON5 *$'
line 'SYSTEM'
stop_session || fail "SYSTEM ends the session with 0"
echo "menu test passed"
