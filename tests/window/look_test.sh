#!/usr/bin/env bash
# The look a window's OPEN string gives it in the graphical window: PICTURE= shows the picture
# behind the window's text (in the cells that keep the window's background, text cells too, not
# a field with its own background, nor the console outside it), FONT= the face of its text; the
# look goes when the window closes; MAXIMIZE and NOMAXIMIZE size the main window; a picture
# that cannot be read is an error on the status bar.  STATUS FONTS names the console's and the status line's fonts.
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
expect_field windowlook '^1 face=DejaVu Serif picture=40x20$'
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
line 'SYSTEM'
stop_session || fail "SYSTEM ends the session with 0"
echo "look test passed"
