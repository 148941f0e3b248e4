#!/usr/bin/env bash
# The screen a person can trust, on an 80x24 terminal: the full screen (the status line takes
# the top row while command mode has the terminal), every error shown with its number, position
# and words until a later line succeeds, INDEX failures never shown as success, a program's 24
# rows all visible, long LIST lines wrapped, a pasted block stopping at its bad line, Ctrl-C at
# the prompt, a spool command's output kept off the screen, Ctrl-L, a resize, the "more" cue.
# Usage: screen_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
start_pane_size 80 24
top() { expect_row 1 "$1"; }

line "$exe"
top '^ READY +Veltrix! Release'
expect 'F1 or HELP'
[ "$(cursor)" = "0,23" ] || fail "the input field is the bottom row (cursor $(cursor))"

# ---- every error reaches the screen, in words, until a later success ----
line 'print 1/0'
top '^ READY +ERROR 6 at 00000:00  Division by zero'
line 'goto 999'
top 'ERROR 1110 at 00000:00  [A-Z]'
line 'OPEN #1: "NAME=missing.dat", INTERNAL, INPUT'
top 'ERROR 4152 at 00000:00  missing\.dat'
line 'CONFIG OPTION 17 ON'
top '^ READY +INSERT'
line 'OPEN #1: "NAME=missing.dat", INTERNAL, INPUT'
top 'ERROR 4152 at 00000:00  [A-Z][a-z].*: missing\.dat'
line 'print 40+2'
expect_row 23 '^ ?42$'
top '^ READY +INSERT$'
line 'GO'
top 'ERROR 2102  [A-Z]'
line '10 PRINT ('
top 'ERROR 10[0-9][0-9]  '
keys End BSpace; keys -l '"ok"'; keys Enter
top '^ READY +INSERT$'

# ---- INDEX: each failure shows its error, never an earlier success ----
line 'CLEAR'
line '10 OPEN #1: "NAME=cust,RECL=20,REPLACE",INTERNAL,OUTPUT'
line '20 FOR I=1 TO 6'
line '30 WRITE #1,USING 40: STR$(I)&"x", I'
line '40 FORM C 4,N 4'
line '50 NEXT I'
line '60 CLOSE #1:'
line '70 END'
line 'RUN'
top '^ READY'
line 'INDEX cust cust.key 1 4'
top 'Create Index File successful'
line 'INDEX cust cust.key 1 4'
top 'ERROR 4150'
refute_row 1 'successful'
line 'INDEX nocust no.key 1 4'
top 'ERROR 4152 .*nocust'
line 'INDEX cust c2.key 30 4'
top 'ERROR 7600'
line 'INDEX cust cust.key verify'
top 'verify successful'
# The data changes behind the key file's back: VERIFY must say so.
line '25 IF I=3 THEN WRITE #1,USING 40: "zz", 99'
line 'RUN'
top '^ READY'
line 'INDEX cust cust.key verify'
top 'ERROR 4123'
refute_row 1 'successful'

# ---- a program's 24 rows all show; its error afterwards shows too ----
line 'CLEAR'
line '10 FOR R = 1 TO 24'
line '20 PRINT FIELDS STR$(R)&",1,C 80": "ROW"&STR$(R)'
line '30 NEXT R'
line '40 LET K$ = KSTAT$(1)'
line '50 PRINT 1/0'
line 'RUN'
expect_row 1 '^ROW1$'
expect_row 24 '^ROW24$'
[ "$(screen | grep -c '^ROW[0-9]')" -eq 24 ] || fail "all 24 rows of the program show"
keys -l 'x'
top 'ERROR 6 at 00050:01'
# Ending the program moved nothing: its rows are where it drew them.
expect_row 2 '^ROW2$'
expect_row 23 '^ROW23$'

# ---- LIST shows whole lines ----
line 'CLEAR'
long='10 PRINT "'$(printf 'a%.0s' {1..90})'" ! the end'
line "$long"
line 'LIST'
expect_row 22 '^00010 PRINT "a{67}$'
expect_row 23 '^a{23}" ! the end$'

# ---- Ctrl-C at the prompt drops the line being typed ----
keys -l 'print 77'
keys C-c
expect_row 24 '^$'
keys -l 'print 78'; keys Enter
expect_row 23 '^ ?78$'

# ---- a pasted block stops at its bad line; nothing is dropped unseen ----
line 'CLEAR'
keys -l $'10 PRINT "A"\n20 PRINT (\n30 PRINT "C"\n40 END\n'
expect_row 24 '^20 PRINT \($'
top 'ERROR 10[0-9][0-9] '
expect '2 more pasted line\(s\) wait'
keys End BSpace; keys -l '"B"'; keys Enter
line 'LIST'
expect_row 20 '^00010 PRINT "A"$'
expect_row 21 '^00020 PRINT "B"$'
expect_row 22 '^00030 PRINT "C"$'
expect_row 23 '^00040 END$'

# ---- a spool command's output stays off the screen; Ctrl-L redraws what a child spoiled ----
line 'CONFIG SPOOLCMD sh -c "echo no printer called [PRINTER]; printf SPOI%sD LE > /dev/tty; exit 1"'
line 'CLEAR'
line '10 OPEN #255: "NAME=PRN:/LASER", DISPLAY, OUTPUT'
line '20 PRINT #255: "report"'
line '30 CLOSE #255:'
line '40 END'
line 'RUN'
top 'ERROR 6260 .*no printer called'
[ "$(count 'no printer called LASER')" -eq 1 ] || fail "the command's output is only on the status line"
expect 'SPOILED'
keys C-l
for ((i = 0; i < 30; i++)); do [ "$(count SPOILED)" -eq 0 ] && break; sleep 0.1; done
[ "$(count SPOILED)" -eq 0 ] || fail "Ctrl-L redraws the whole screen"
top 'ERROR 6260'

# ---- a resize: too small says so, the input stays reachable; back, the cursor is at input ----
tmux -L "$sock" resize-window -t "$pane" -x 60 -y 10
expect_row 1 '^The terminal is 60x10: the screen needs 80x24\.'
keys -l 'print 5'
expect_row 10 '^print 5$'
tmux -L "$sock" resize-window -t "$pane" -x 80 -y 24
top 'ERROR 6260'
expect_row 24 '^print 5$'
[ "$(cursor)" = "7,23" ] || fail "the cursor is back at the input (cursor $(cursor))"
keys Enter
expect_row 23 '^ ?5$'

# ---- paths as Linux users type them ----
mkdir -p "$work/docs/examples"
printf '10 PRINT "MERGED"\n' > "$work/docs/examples/orders.txt"
line 'CLEAR'
line 'MERGE docs/examples/orders.txt'
line 'LIST'
expect_row 23 '^00010 PRINT "MERGED"$'
top '^ READY +INSERT$'

# ---- a paused listing shows its cue ----
line 'CLEAR'
for n in $(seq 10 10 300); do line "$n REM line $n"; done
line 'LIST -P'
top 'More'
line 'q'
top '^ READY +INSERT$'

# ---- a break point says where; a statement typed there leaves the program's state ----
line 'CLEAR'
line '10 LET X = 1'
line '20 LET X = 2'
line '30 END'
line 'BREAK 20'
line 'RUN'
top '^ STEP +Break at 00020:01'
line 'PRINT X'
expect_row 23 '^ ?1$'
top '^ STEP +INSERT$'
line 'PRINT 1/0'
top '^ STEP +ERROR 6 at 00000:00'
line 'GO'
top '^ READY +INSERT$'

line 'SYSTEM'
expect '^shell\$'
echo "screen test passed"
