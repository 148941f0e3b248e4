#!/usr/bin/env bash
# The full-screen front end on a real terminal: the executable runs in a tmux pane (its own tmux
# server), keys are sent as typed and the pane's text is checked.  Covers the console window and
# its status line, the command line editor and its recall list, the attention key stopping a
# running loop, SYSTEM giving the shell back its terminal modes, and the line-mode fallback of a
# terminal smaller than the screen.
# Usage: terminal_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
start_pane
# The modes are read right after the process ends by a plain sh, which (unlike an interactive
# shell) repairs nothing.
run_vx="sh -c '$exe; echo ENDED \$?; stty -g > modes.after'"
line "stty -g > modes.before; $run_vx"
status 'Release'

# Numbered lines, LIST, and a run that prints; the status line says READY again after it.
line '10 FOR I = 1 TO 3'
line '20 PRINT "ROUND"; I'
line '30 NEXT I'
line '40 END'
line 'LIST'
expect '^00030 NEXT I'
line 'RUN'
expect '^ROUND ?3'
[ "$(count '^ROUND ?[123]$')" -eq 3 ] || fail "three rounds printed"
status '^ READY'
# The input field is the console's bottom row; the rows above it scroll.
expect_row 24 '^$'
[ -z "$(screen | sed -n '26,30p' | tr -d ' ')" ] || fail "nothing below the status line"

# An error shows with its number on the status line.
line 'GO'
status 'ERROR 2102'

# The line editor: Home, Right, Delete; Insert toggling overwrite; Backspace; End.
keys -l 'PRINT 9+2'; keys Home Right Right Right Right Right Right DC; keys -l '4'; keys Enter
expect '^ ?6$'
keys -l 'PRINT 111'; keys Left Left IC
status 'OVER'
keys -l '5'; keys Enter
expect '^ ?151$'
keys IC
status 'INSERT'
keys -l 'PRINT 77x'; keys BSpace Enter
expect '^ ?77$'
keys -l 'RINT 5'; keys Home; keys -l 'P'; keys End; keys -l '6'; keys Enter
expect '^ ?56$'
# Recall: Up twice brings back PRINT 77; Up three times and Down one PRINT 56; Escape drops the field.
# (a finished line stays on the console; the bottom row is the next input field)
keys Up Up Enter
expect_row 22 '^PRINT 77$'
expect_row 23 '^ ?77$'
keys Up Up Up Down Enter
expect_row 22 '^PRINT 56$'
expect_row 23 '^ ?56$'
keys -l 'PRINT 1/0'; keys Escape; keys -l 'PRINT 40+2'; keys Enter
expect '^ ?42$'

# The attention key (Ctrl-A) stops a running loop; the program stays.  Ctrl-C does it too.
# AUTO offers the next line number in the field; typing goes after it, Enter alone ends it.
# A rejected line is offered again selected: what is typed replaces it.
line 'CLEAR'
line 'AUTO'
expect_row 24 '^00010 ?$'
line 'PRINT "LOOP" & "ING"'
expect_row 24 '^00020 ?$'
line 'GOTO 20'
expect_row 24 '^00030 ?$'
keys Enter
line '50 PRINT ('
expect_row 24 '^50 PRINT \($'
line '50 REM'
line 'LIST'
expect '^00050 REM'
line '50'
line 'RUN'
expect '^LOOPING'
status '^ RUN( |$)'
keys C-a
status '^ ATTN( |$)'
line 'LIST'
expect '^00020 GOTO 20'
line 'RUN'
for ((i = 0; i < 150; i++)); do [ "$(count '^LOOPING$')" -ge 2 ] && break; sleep 0.1; done
keys C-c
line 'PRINT "STOPPED" & "TWICE"'
expect '^STOPPEDTWICE'

# SYSTEM gives the terminal back as it was found: the shell runs on with the same modes.
line 'SYSTEM 4'
expect '^ENDED 4'
line 'cmp -s modes.before modes.after && echo SAME-MODES'
expect '^SAME-MODES'

# A signal that ends the process gives the terminal back as well.
line 'clear'
line "$run_vx"
status 'Release'
shell_pid=$(tmux -L "$sock" display-message -p -t "$pane" '#{pane_pid}')
sh_pid=$(pgrep -P "$shell_pid" -x sh) || fail "the running copy's shell not found"
vx_pid=$(pgrep -P "$sh_pid" -x veltrix) || fail "the running copy not found"
kill -TERM "$vx_pid"
expect '^ENDED 143'
line 'cmp -s modes.before modes.after && echo SAME-MODES'
expect '^SAME-MODES'

# A terminal smaller than the console and its status line runs in line mode.
tmux -L "$sock" resize-window -t "$pane" -x 70 -y 20 2>/dev/null ||
  tmux -L "$sock" resize-pane -t "$pane" -x 70 -y 20
line 'clear'
line "$exe"
expect 'needs 80x24: line mode'
line 'PRINT "SMALL" & "SCREEN"'
expect '^SMALLSCREEN'
line 'SYSTEM'
expect '^shell\$ ?$'
echo "PASS"
