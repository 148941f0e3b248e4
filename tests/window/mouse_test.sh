#!/usr/bin/env bash
# A click in field input: on another field of the statement the cursor goes there (to the
# clicked character with OPTION 53, else to the field's start), in a window opened on the
# console too; a click on no field, or inside the current field without OPTION 53, leaves the
# cursor where it is.  The same between a text field and the native LIST and CHECK widgets: a
# click on a widget moves the statement to it, one beside the widget being worked moves it away.
# Usage: mouse_test.sh EXECUTABLE            (exit 77: Xvfb, xdotool, ImageMagick or tesseract missing)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/xvfb_lib.sh"

cat > "$work/mouse.txt" <<'PROGRAM'
10 OPEN #1: "SROW=5,SCOL=10,EROW=10,ECOL=60,BORDER=S,CAPTION=Entry",DISPLAY,OUTIN
20 PRINT #1, FIELDS "2,2,C 6;3,2,C 6;4,2,C 6": "First","Second","Third"
40 INPUT #1, FIELDS "2,10,C 8;3,10,C 8;4,10,C 8": A$,B$,C$
50 PRINT "A=";A$;" B=";B$;" C=";C$
60 CLOSE #1:
70 END
PROGRAM
# A text field, a LIST and a CHECK in one statement: a click moves between them, also away from
# a control being worked.
cp "$(dirname "$0")/../support/mouse_controls.txt" "$work/mousectl.txt"
# Clicks the cell at screen row $1, column $2 (1-based) of the console.
click_cell() {
  local cells x y w h
  cells=$(field cells)
  IFS=, read -r x y w h <<< "$cells"
  [ -n "$h" ] || fail "the snapshot gives the cells' place"
  xdotool mousemove $((x + ($2 - 1) * w + w / 2)) $((y + ($1 - 1) * h + h / 2)) click 1
}
start_session VX_FRONTEND=gui
line 'LOAD "mouse.txt",SOURCE'
line 'RUN'
expect '\| Third   '
expect_field cursor '^5,18$'
# The window's interior starts at screen row 5, column 10 (1-based): the third field is on row 8
# from column 19.  Without OPTION 53 the cursor goes to the field's start.
click_cell 8 23
expect_field cursor '^7,18$'
typed 'XY'
# A click inside the current field leaves the cursor; one on a label chooses nothing.
click_cell 8 25
click_cell 6 12
typed 'Z'
expect '\| Third   XYZ'
key Return
expect '^A= +B= +C=XYZ *$'
line 'CONFIG OPTION 53 ON'
line 'RUN'
expect_field cursor '^5,18$'
# With OPTION 53 the click puts the cursor on the character clicked, here and in the field
# being edited.
click_cell 7 23
expect_field cursor '^6,22$'
typed '1'
click_cell 7 20
expect_field cursor '^6,19$'
typed '2'
key Return Return
expect '^A= +B= 2   1 +C= *$'

line 'CONFIG OPTION 53 OFF'
line 'LOAD "mousectl.txt",SOURCE'
line 'RUN'
expect_field cursor '^7,1$'
typed 'ab'
# On the check box: it turns on (the widget's own click) and the statement works it; a click on
# the text field leaves the check box for the field's start.
click_cell 9 3
sleep 0.5
click_cell 8 5
expect_field cursor '^7,1$'
typed 'c'
# On the list: the statement works the list, which takes End and ends the input with Enter.
click_cell 4 5
sleep 0.5
key End Return
expect '^A=cab +P=Clark C=\^Paid F2 +K0 *$'
# A click on the hot field's button presses it, also while a control is worked.
line 'RUN'
expect_field cursor '^7,1$'
click_cell 4 5
sleep 0.5
click_cell 11 3
expect '^A= +P=[A-Za-z]* C=Paid F2 +K5 *$'
line 'SYSTEM'
stop_session || fail "SYSTEM ends the session with 0"
echo "mouse test passed"
