#!/usr/bin/env bash
# MSGBOX on the full-screen terminal: the message and its choices on the console, the answer
# typed in the input field; Ctrl-C closes a box that has Cancel.
# Usage: msgbox_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
start_pane_size 80 25
line "$exe"
expect 'F1 or HELP'
line '10 A = MSGBOX("Save the order?", "Orders", "YNC", "?")'
line '20 PRINT "ANSWER"; A'
line '30 B = MSGBOX("Try again?", "", "RC", "!")'
line '40 PRINT "B"; B'
line 'RUN'
expect '^Question: Save the order\?'
expect '^\[Y\]es  \[N\]o  \[C\]ancel'
line 'yes please'
expect '^ANSWER6 *$'
expect '^Warning: Try again\?'
keys C-c
expect '^B2 *$'
line 'SYSTEM'
expect '^shell\$'
echo "msgbox test passed"
