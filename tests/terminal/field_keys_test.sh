#!/usr/bin/env bash
# Field input typed on a real terminal: implied decimals of an N field, the field-minus key
# (Ctrl-O) making a number negative, a cursor-start digit, the C attribute choosing the first
# field, Enter/Up/Down moving between the fields of one statement, a function key taken by ON
# FNKEY while a program runs, and a program's screen left where it was drawn when it ends.
# Usage: field_keys_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
start_pane_size 80 25
line "$exe"
status 'READY'
prog() { line 'CLEAR'; for l in "$@"; do line "$l"; done; line 'RUN'; }

# N 5.2 typed 1234 is 12.34; typed 1.5 it is 1.5.
prog '10 INPUT FIELDS "2,2,N 5.2;3,2,N 5.2": X, Y' '20 PRINT "X=";X;"Y=";Y' '30 END'
sleep 0.3
keys -l '1234'; keys Enter
keys -l '1.5'; keys Enter
expect '^X= ?12\.34 Y= ?1\.5$'

# The field-minus key clears the rest of the field, leaves it, and makes the number negative.
prog '10 INPUT FIELDS "2,2,N 6.2;3,2,C 3": X, A$' '20 PRINT "X=";X' '30 END'
sleep 0.3
keys -l '250'; keys C-o
keys Enter
expect '^X=-2\.5$'

# A cursor-start digit: typing begins at that character of the field.
prog '10 INPUT FIELDS "2,2,C 10,3": A$' '20 PRINT "[";A$;"]"' '30 END'
sleep 0.3
keys -l 'x'; keys Enter
expect '^\[  x       \]$'

# The C attribute chooses the field where editing starts.
prog '10 INPUT FIELDS "2,2,C 3;3,2,C 3,C": A$, B$' '20 PRINT "[";A$;"][";B$;"]"' '30 END'
sleep 0.3
keys -l 'b'; keys Enter
expect '^\[   \]\[b  \]$'

# Enter moves to the next field and ends the statement on the last; Up and Down move back and
# forth.
prog '10 INPUT FIELDS "2,2,C 3;3,2,C 3;4,2,C 3": A$, B$, C$' \
  '20 PRINT "[";A$;"][";B$;"][";C$;"]"' '30 END'
sleep 0.3
keys -l 'a'; keys Enter
keys -l 'b'; keys Up
keys End; keys -l 'A'; keys Down
keys Down
keys -l 'c'; keys Enter
expect '^\[aA \]\[b  \]\[c  \]$'

# A function key pressed while a program runs takes its ON FNKEY line.
prog '10 ON FNKEY 2 GOTO 100' '20 LET I = I + 1' '30 GOTO 20' '100 PRINT "F2 TAKEN"' '110 END'
status '^ RUN'
keys F2
expect '^F2 TAKEN$'
status '^ READY'

# A program's screen stays where it was drawn when the program ends.
prog '10 PRINT FIELDS "5,1,C 20": "DRAWN ON ROW 5"' '20 END'
expect_row 5 '^DRAWN ON ROW 5$'
status '^ READY'
sleep 0.3
expect_row 5 '^DRAWN ON ROW 5$'

line 'SYSTEM'
expect '^shell\$'
echo "field keys passed"
