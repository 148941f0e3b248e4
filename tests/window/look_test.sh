#!/usr/bin/env bash
# The look a window's OPEN string gives it in the graphical window: PICTURE= shows the picture
# behind the window's text (in the cells that keep the window's background, text cells too, not
# a field with its own background, nor the console outside it), FONT= the face of its text; the
# look goes when the window closes; MAXIMIZE and NOMAXIMIZE size the main window; a picture
# that cannot be read is an error on the status bar.  The sizes of the look: the text's points,
# the fonts of a check box and a button, the cells' size and the rows of the tool bar.  STATUS FONTS names the console's and the status line's fonts.
# Usage: look_test.sh EXECUTABLE            (exit 77: Xvfb, xdotool, ImageMagick or tesseract missing)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/xvfb_lib.sh"

convert -size 40x20 xc:'#ff0000' "$work/red.png" || fail "ImageMagick makes the picture"
cat > "$work/look.txt" <<'PROGRAM'
10 OPEN #1: "SROW=3,SCOL=5,EROW=8,ECOL=40,BORDER=S,PICTURE=red.png,FONT=DejaVu Serif,MAXIMIZE", DISPLAY, OUTIN
20 PRINT #1, FIELDS "2,2,C 10,/W:B;3,2,C 10": "blue field", "plain"
30 INPUT FIELDS "20,1,C 1": X$
40 CLOSE #1:
45 OPEN #2: "SROW=1,SCOL=1,ROWS=1,COLS=5,NOMAXIMIZE", DISPLAY, OUTIN
50 INPUT FIELDS "20,1,C 1": X$
60 END
PROGRAM
# The colour of the screen's pixel near the top left corner of the cell at screen row $2,
# column $3 (1-based) in the screenshot $1, as ImageMagick names it.
pixel() {
  local x y w h
  IFS=, read -r x y w h <<< "$(field cells)"
  [ -n "$h" ] || fail "the snapshot gives the cells' place"
  convert "$1" -format "%[pixel:p{$((x + ($3 - 1) * w + 1)),$((y + ($2 - 1) * h + 1))}]" info:
}
red() { case "$1" in red | "srgb(255,0,0)") return 0 ;; esac; return 1; }
start_session VX_FRONTEND=gui
before=$(field frame)
line 'LOAD "look.txt",SOURCE'
line 'RUN'
expect '^ {3}\| plain'
expect_field windowlook '^1 face=DejaVu Serif points=[0-9]+ picture=40x20$'
# MAXIMIZE: the main window takes the display's work area (Xvfb's screen is 1280x1024).
expect_field frame '^0,0,1280,1024$'
sleep 0.5
import -window root "$work/look.png"
# Interior row 5, column 30: screen row 7, column 34; the plain field on screen row 5 from
# column 6; the blue field on screen row 4.
red "$(pixel "$work/look.png" 7 34)" || fail "a blank cell of the window shows the picture ($(pixel "$work/look.png" 7 34))"
red "$(pixel "$work/look.png" 5 7)" || fail "a text cell keeps the picture behind its text"
case "$(pixel "$work/look.png" 4 7)" in
  *blue* | "srgb(0,0,"*) ;;
  *) fail "a field with its own background keeps it ($(pixel "$work/look.png" 4 7))" ;;
esac
! red "$(pixel "$work/look.png" 15 60)" || fail "the console outside the window shows no picture"
key Return
for ((i = 0; i < 50; i++)); do [ -z "$(field windowlook)" ] && break; sleep 0.1; done
[ -z "$(field windowlook)" ] || fail "the look goes with the window"
expect_field frame "^$before\$"
key Return
expect_field status '^READY$'
# STATUS FONTS names the fonts the window draws in.
line 'STATUS FONTS'
expect '^CONSOLE DejaVu Sans Mono,[0-9]+ *$'
expect '^STATUS [^,]+,[0-9]+ *$'
# A picture that cannot be read stops the OPEN with its error on the status bar.
line '10 OPEN #1: "SROW=3,SCOL=5,EROW=8,ECOL=40,PICTURE=nofile.png", DISPLAY, OUTIN'
line 'RUN'
expect_field message '^ERROR 4152 at 00010:01'
[ -z "$(field windowlook)" ] || fail "a window that did not open has no look"

# The sizes of a look: FONT.TEXT.SIZE= draws the window's text smaller than the console's,
# FONT.LABELS...= and FONT.BUTTONS...= give the check box and the button their fonts, FONTSIZE=
# sizes the main window for cells of 9x18 pixels at most, BUTTONROWS=2 lays the tool bar in two
# rows while the window is open.
cat > "$work/sizes.txt" <<'PROGRAM'
10 OPTION BASE 1
20 DIM C$(4),K(4)
30 DATA "One","Two","Three","Four",1,2,3,4
40 READ MAT C$,MAT K
50 DISPLAY BUTTONS: MAT C$,MAT K
60 OPEN #1: "SROW=3,SCOL=5,EROW=12,ECOL=60,BORDER=S,FONT.NAME=DejaVu Serif,FONT.TEXT.SIZE=8,FONT.LABELS.SIZE=16,FONT.BUTTONS.NAME=DejaVu Sans,FONT.BUTTONS.SIZE=7,BUTTONROWS=2,FONTSIZE=9x18", DISPLAY, OUTIN
70 PRINT #1, FIELDS "2,2,C 10;3,2,CHECK 10;4,2,C 6,,BF5": "small text","Paid","Save"
80 INPUT FIELDS "20,1,C 1": X$
90 CLOSE #1:
100 INPUT FIELDS "20,1,C 1": X$
110 END
PROGRAM
# The tops of the tool bar's buttons, one line each.
button_tops() { sed -n 's/^toolbutton=.* at=[0-9]*,\([0-9]*\),.*/\1/p' "$snap" | sort -u; }
line 'LOAD "sizes.txt",SOURCE'
line 'RUN'
expect_field windowlook '^1 face=DejaVu Serif points=[4-8]$'
expect_control '1,3,2 check off Paid font=DejaVu Serif,16 at='
expect_control '1,4,2 button Save key=1280 font=DejaVu Sans,7 at='
IFS=, read -r _ _ cw ch <<< "$(field cells)"
[ "$cw" -le 9 ] && [ "$ch" -le 18 ] && [ "$cw" -ge 7 ] && [ "$ch" -ge 14 ] ||
  fail "FONTSIZE=9x18 gives cells of at most 9x18 pixels, not ${cw}x${ch}"
for ((i = 0; i < 50; i++)); do [ "$(button_tops | wc -l)" = 2 ] && break; sleep 0.1; done
[ "$(button_tops | wc -l)" = 2 ] || fail "BUTTONROWS=2 lays the tool bar in two rows: $(grep toolbutton "$snap")"
key Return
for ((i = 0; i < 50; i++)); do [ "$(button_tops | wc -l)" = 1 ] && break; sleep 0.1; done
[ "$(button_tops | wc -l)" = 1 ] || fail "the tool bar is one row again when the window closed"
key Return
expect_field status '^READY$'
line 'SYSTEM'
stop_session || fail "SYSTEM ends the session with 0"
echo "look test passed"
