#!/usr/bin/env bash
# The menu of DISPLAY MENU on a real terminal: Alt with an entry's letter opens it (the bar on
# the top row, the entry's list below it, a grayed item dim and passed over), the cursor keys
# move and go to the next entry, Enter chooses and the field input ends with FKEY 98 with MENU
# and MENU$ naming the item; Escape closes the menu and the field input goes on; a plain Escape
# still ends a field.
# Usage: menu_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
cat > "$work/menu.txt" <<'PROGRAM'
10 OPTION BASE 1
20 DIM M$(6),S$(6)
30 DATA "&File",".&Open",".-",".E&xit","&Help",".&About"
40 READ MAT M$
50 LET S$(4)="G"
60 DISPLAY MENU: MAT M$,MAT M$,MAT S$
70 INPUT FIELDS "5,2,C 5": A$
80 PRINT "KEY";FKEY;"ITEM";MENU;MENU$
90 INPUT FIELDS "6,2,C 5": A$
100 PRINT "KEY";FKEY;"ITEM";MENU;MENU$
110 INPUT FIELDS "7,2,C 5": A$
120 PRINT "KEY";FKEY;"A$=";A$
130 END
PROGRAM
start_pane
line "$exe"
status 'Release'
line 'MERGE menu.txt'
line 'RUN'
status 'INPUT'
keys -l $'\ef'
expect_row 1 '^  File   +Help'
expect_row 3 'Open'
expect_row 4 '─|-|q'
expect_row 5 'Exit'
# The list's first item is highlighted; E&xit is grayed: its letter does nothing.
attrs | sed -n 3p | cat -v > "$work/row3"
grep -q '\[7m[^[]*Open' "$work/row3" || { cat "$work/row3"; fail "the first item is highlighted"; }
keys -l 'x'
expect_row 5 'Exit'
keys Enter
expect '^KEY98 ITEM2 &Open *$'
# Escape closes the menu and the field waits on; Right goes to the next entry.
keys -l $'\eh'
expect_row 3 'About'
keys Escape
for ((i = 0; i < 30; i++)); do screen | sed -n 3p | grep -q About || break; sleep 0.1; done
screen | sed -n 3p | grep -q About && fail "Escape closes the menu"
keys -l $'\ef'
expect_row 3 'Open'
keys Right Enter
expect '^KEY98 ITEM6 &About *$'
keys -l 'ab'; keys Escape
expect '^KEY99 A\$=ab'
line 'SYSTEM'
echo "terminal menu test passed"
