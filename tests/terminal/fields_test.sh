#!/usr/bin/env bash
# Full-screen field input on a real terminal: the order-entry example of docs/screens.md runs in
# a tmux pane.  Checks the windows with their borders and captions, labels and fields where the
# program put them, typing with upper-casing, masks and the editing keys, movement between
# fields, function keys, the status line during field input, colours and the bold look, the
# cursor at the editing position, and the values the program stored.
# Usage: fields_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
cp "$(dirname "$0")/../../docs/examples/orders.txt" "$work/"
start_pane
line "$exe"
status 'Release'
line 'MERGE orders.txt'
line 'RUN'

# Row 1 of the pane is the first window's top border with its caption; the interior starts at
# column 3.  Labels in column 2 of the window, fields in column 14.
expect_row 1 '^ .New order'
expect_row 2 '^ . Customer {4}'
expect_row 7 '^ . Rush \(Y/N\)'
expect_row 12 '^ .Keys'
expect_row 13 'F2 save   Esc quit'
expect_row 4 '^ . Quantity {7}0 '
expect_row 5 '^ . Price {11}0\.00 '
expect_row 6 '^ . Ship date +.$'
status 'INPUT'
status 'INSERT'
# The cursor waits in the first field (window row 1, column 14: pane row 2, column 16).
cursor=$(tmux -L "$sock" display-message -p -t "$pane" '#{cursor_y},#{cursor_x}')
[ "$cursor" = "1,15" ] || fail "cursor at $cursor, not in the first field"

# Typing upper-cases the customer; Backspace edits; Tab moves on; the date is read through its
# picture; the Y/N mask refuses other letters and upper-cases.
keys -l 'acme corpx'; keys BSpace Tab
expect_row 2 '^ . Customer    ACME CORP +.$'
status ' 2:14 '
keys -l 'widget'; keys Tab; keys -l '0'; keys Tab; keys -l '2.5'; keys Tab
keys -l '12/05/2025'; keys Tab; keys -l 'xy'
expect_row 6 '^ . Ship date   12/05/2025 '
expect_row 7 '^ . Rush \(Y/N\)  Y '
# Up goes back to the quantity through the date and the price; F2 saves: the program refuses a
# quantity of 0 and names the field, which the next input starts in.
keys Up Up Up
status ' 3:14 '
keys F2
expect_row 14 'Quantity must be above zero'
keys -l '12'; keys F2
expect_row 9 '^ . Total +30\.00 '
expect_row 14 'Saved: ACME CORP'
# The total shows in the bold look of H; the key window in white on blue.
attrs | sed -n 9p | grep -q $'\e\\[1m' || fail "the total is not bold"
attrs | sed -n 13p | grep -q $'\e\\[37m\e\\[44m' || fail "the key window is not white on blue"

# A second order: the item was cleared by the program; Escape ends the run, which closes the
# windows and lists the orders on the console.
expect_row 3 '^ . Item {8} +.$'
keys Tab; keys -l 'gadget'; keys Tab; keys End BSpace BSpace; keys -l '3'; keys F2
expect_row 14 'Saved: ACME CORP'
keys Escape
expect '^Orders:$'
expect '^ACME CORP,widget,12,2\.5,20251205,Y$'
expect '^ACME CORP,gadget,3,2\.5,20251205,Y$'
[ "$(count 'New order')" -eq 0 ] || fail "the window stayed after CLOSE"
status 'READY'

# LINPUT on a window: the line is typed at the window's current row, the cursor there, and the
# finished line stays in the window.
cat > "$work/window.txt" <<'PROGRAM'
10 OPEN #1: "SROW=3,SCOL=5,ROWS=4,COLS=20,BORDER=S", DISPLAY, OUTPUT
20 PRINT #1: "name?"
30 LINPUT #1: A$
40 PRINT #1: "got "&A$
50 LINPUT #1: B$
60 END
PROGRAM
line 'CLEAR'
line 'MERGE window.txt'
line 'RUN'
expect_row 3 '^ {3}.name\? +.$'
keys -l 'abc'
expect_row 4 '^ {3}.abc +.$'
cursor=$(tmux -L "$sock" display-message -p -t "$pane" '#{cursor_y},#{cursor_x}')
[ "$cursor" = "3,7" ] || fail "cursor at $cursor, not after the text typed in the window"
keys Enter
expect_row 5 '^ {3}.got abc +.$'
keys -l 'done'; keys Enter
status 'READY'
line 'SYSTEM'
expect '^shell\$ ?$'
echo "PASS"
