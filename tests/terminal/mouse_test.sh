#!/usr/bin/env bash
# A click in field input on a real terminal: the terminal reports the press of the first button
# (the mouse protocol a terminal sends, typed into the pane here), and the cursor goes to the
# field clicked: to its start, or with OPTION 53 to the character clicked; a click moves between
# a text field and the LIST and CHECK controls too.
# Usage: mouse_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
cat > "$work/mouse.txt" <<'PROGRAM'
5 PRINT NEWPAGE
10 PRINT FIELDS "2,2,C 6;3,2,C 6;4,2,C 6": "First","Second","Third"
30 INPUT FIELDS "2,10,C 8;3,10,C 8;4,10,C 8": A$,B$,C$
40 PRINT "A=";A$;" B=";B$;" C=";C$
50 END
PROGRAM
# A press and release of the first button on the cell at screen row $1, column $2 (1-based),
# as a terminal reports them: ESC [ M, the button + 32, the column + 32, the row + 32.
click_cell() {
  local c r
  c=$(printf "\\$(printf '%03o' $(($2 + 32)))")
  r=$(printf "\\$(printf '%03o' $(($1 + 32)))")
  keys -l $'\e[M '"$c$r"
  keys -l $'\e[M#'"$c$r"
}
start_pane
line "$exe"
status 'Release'
line 'MERGE mouse.txt'
line 'RUN'
expect_row 4 '^ Third'
[ "$(cursor)" = "9,1" ] || fail "the cursor waits in the first field, not at $(cursor)"
click_cell 4 14
for ((i = 0; i < 50; i++)); do [ "$(cursor)" = "9,3" ] && break; sleep 0.1; done
[ "$(cursor)" = "9,3" ] || fail "a click on the third field puts the cursor at its start, not at $(cursor)"
keys -l 'xy'; keys Enter
expect '^A= +B= +C=xy *$'
line 'CONFIG OPTION 53 ON'
line 'RUN'
expect_row 4 '^ Third'
click_cell 3 14
for ((i = 0; i < 50; i++)); do [ "$(cursor)" = "13,2" ] && break; sleep 0.1; done
[ "$(cursor)" = "13,2" ] || fail "with OPTION 53 the cursor goes to the character clicked, not $(cursor)"
keys -l '1'; keys Enter Enter
expect '^A= +B= {4}1 +C= *$'

# Between a text field and the LIST and CHECK drawn in characters: a click on a control moves
# the statement to it and acts there as on a control being worked (the row clicked becomes the
# current one, the check box turns on); beside it, the statement leaves it (for a text field's
# start).
cp "$(dirname "$0")/../support/mouse_controls.txt" "$work/mousectl.txt"
line 'CONFIG OPTION 53 OFF'
line 'CLEAR'
line 'MERGE mousectl.txt'
line 'RUN'
expect_row 5 'Clark'
for ((i = 0; i < 50; i++)); do [ "$(cursor)" = "1,7" ] && break; sleep 0.1; done
keys -l 'ab'
click_cell 9 3
sleep 0.3
click_cell 8 5
for ((i = 0; i < 50; i++)); do [ "$(cursor)" = "1,7" ] && break; sleep 0.1; done
[ "$(cursor)" = "1,7" ] || fail "a click on the text field leaves the check box for the field's start, not $(cursor)"
keys -l 'c'
click_cell 5 5
sleep 0.3
keys Enter
expect '^A=cab +P=Clark C=\^Paid F2 +K0 *$'
# A click on the hot field's text presses it, also while a control is worked.
line 'RUN'
for ((i = 0; i < 50; i++)); do [ "$(cursor)" = "1,7" ] && break; sleep 0.1; done
click_cell 4 5
sleep 0.3
click_cell 11 3
expect '^A= +P=Baker C=Paid F2 +K5 *$'
line 'SYSTEM'
echo "terminal mouse test passed"
