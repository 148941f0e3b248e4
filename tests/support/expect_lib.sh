# Waiting for what a screen shows, shared by the terminal and window test libraries: each defines
# `screen` (the screen's rows as text) and `fail` (reports and ends the test) before sourcing it.
# Waits until the screen shows text matching the extended regular expression (up to 15 s).
expect() {
  local i
  for ((i = 0; i < 150; i++)); do
    screen | grep -Eq -- "$1" && return 0
    sleep 0.1
  done
  fail "expected /$1/"
}
# Waits until row N of the screen (1-based) matches.
expect_row() {
  local i
  for ((i = 0; i < 150; i++)); do
    screen | sed -n "$1p" | grep -Eq -- "$2" && return 0
    sleep 0.1
  done
  fail "expected /$2/ on row $1"
}
