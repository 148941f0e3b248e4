#!/usr/bin/env bash
# The help screen on a real terminal of 80 columns: HELP LIST fills the screen with the topic's
# title, its text and the keys line, the keys scroll it, Escape gives the console back with the
# prompt usable; after a failing command HELP shows the error's topic, which q closes; Enter
# closes too, and the session ends normally.  The help key F1 at the prompt shows the topic of
# the command typed so far, and the typed text stays in the field.
# Usage: help_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"

# The pane is as small as the full screen allows: 80 columns by 24 rows.
start_at() {
  rows=$1
  tmux -L "$sock" -f /dev/null new-session -d -s "$pane" -x 80 -y "$rows" -c "$work" \
    "env -i PATH=$PATH HOME=$work HISTFILE= TERM=screen PS1='shell\$ ' bash --norc --noprofile" ||
    { echo "tmux could not start a session"; exit 1; }
  expect '^shell\$'
  line "sh -c '$exe; echo ENDED \$?'"
  expect 'READY|line mode'
}
# Waits until the pane no longer shows text matching the expression (up to 15 s).
gone() {
  local i
  for ((i = 0; i < 150; i++)); do
    screen | grep -Eq -- "$1" || return 0
    sleep 0.1
  done
  fail "still shown: /$1/"
}
start_at 24
screen | grep -q 'line mode' && fail "an 80x24 terminal runs full screen"

# A command's topic: the title on the top row, the text below, the keys on the bottom row.
line 'HELP LIST'
expect_row 1 '^ LIST - command'
expect_row 2 '^LIST selection \(docs/commands.md\)'
expect 'LIST, DEL selections'
expect_row "$rows" 'Up/Down PgUp/PgDn Home/End: scroll +Esc, q, Enter: close +1-'
[ "$(screen | sed -n "${rows}p" | wc -c)" -le 81 ] || fail "the keys line fits 80 columns"
# End shows the last lines, Home the first again, Down moves one line.
keys End
expect 'Any other argument is error 1006'
keys Home
expect_row 2 '^LIST selection'
keys Down
expect_row 2 '^  What it does: lists lines as typed'
keys PPage
expect_row 2 '^LIST selection'
# Escape gives the console back as it was, and the prompt takes a line again.
keys Escape
gone '^ LIST - command'
expect '^HELP LIST$'
line 'PRINT 6*7'
expect '^ ?42$'

# A failing command, then HELP: the error's topic with what to do.
line 'GO'
expect 'ERROR 2102'
line 'HELP'
expect_row 1 '^ ERR2102 - GO without an active program'
expect 'What to do: GO resumes a program that has stopped'
keys q
gone '^ ERR2102 - '
expect '^HELP$'
line 'PRINT "BACK" & "AGAIN"'
expect '^BACKAGAIN$'

# The help key at the prompt, with a command typed: that command's topic; the typed text stays.
keys -l 'RU'
keys F1
expect_row 1 '^ RUN - command'
keys Enter
expect_row 24 '^RU$'
keys -l 'N'
keys Enter
expect 'ERROR 2104'

# An unknown word, closed with Enter; then the session ends as usual.
line 'HELP XYZZY'
expect_row 1 '^ UNRECOGNIZED - a word that is no command'
keys Enter
gone '^ UNRECOGNIZED - '
expect '^HELP XYZZY$'
line 'SYSTEM'
expect '^ENDED 0'
echo "PASS"
