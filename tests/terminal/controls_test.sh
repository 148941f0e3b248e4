#!/usr/bin/env bash
# The controls on the full-screen terminal, drawn in characters: the example's LIST with its
# headers and rows, the COMBO's text, the CHECK box and the RADIO buttons; the cursor keys move
# the current row (shown reversed), Tab goes on to the next control, PgDn steps the combo's list,
# Space clears the check box and moves the radio choice, and the program reads every choice.
# Usage: controls_test.sh EXECUTABLE        (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/tmux_lib.sh"
cp "$(dirname "$0")/../../docs/examples/controls.txt" "$work/controls.txt"
start_pane_size 80 25
line "$exe"
expect 'F1 or HELP'
line 'LOAD "controls.txt",SOURCE'
line 'RUN'
expect_row 3 '^  Customer +City +Balance'
expect_row 4 '^  Adams +Leeds +120\.50'
expect_row 7 '^  Drake +Hull +0\.00'
expect_row 10 '^ Post'
expect_row 11 '^ \[X\] Send invoice'
expect_row 12 '^ \(\*\) Pay now'
expect_row 13 '^ \( \) Pay later'
keys Down Down
# The current row shows reversed (SGR 7) while the list is worked.
for ((i = 0; i < 50; i++)); do
  attrs | sed -n 6p | grep -q $'\e\\[7m *Clark' && break
  sleep 0.1
done
attrs | sed -n 6p | grep -q $'\e\\[7m *Clark' || fail "the current row shows reversed"
keys Tab PageDown Tab Space Tab Tab Space
expect_row 10 '^ Courier'
expect_row 11 '^ \[ \] Send invoice'
expect_row 13 '^ \(\*\) Pay later'
expect_row 12 '^ \( \) Pay now'
keys Enter
expect '^CHOSEN Clark Bath310\.25  BY Courier Send invoice Pay now/\^Pay later KEY0'
line 'SYSTEM'
expect '^shell\$'
echo "controls test passed"
