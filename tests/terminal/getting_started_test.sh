#!/usr/bin/env bash
# docs/getting-started.md followed on an 80x24 terminal: every line that its transcript
# (tests/programs/getting_started.vxt) types is typed in a tmux pane, key names such as {TAB} and
# {F2} as those keys; the errors the document shows must show on the status line, the entry
# window, the lookup and the printed list on the screen, and the files it makes in the directory.
# Usage: getting_started_test.sh EXECUTABLE          (exit 77: tmux is not installed)
set -u
exe=$(realpath "$1")
transcript="$(dirname "$0")/../programs/getting_started.vxt"
source "$(dirname "$0")/tmux_lib.sh"
start_pane_size 80 24
line "$exe"
expect_row 1 '^ READY'

# Waits until the screen stops changing (the line typed has been taken and answered).
settle() {
  local before now i
  before=$(screen)
  for ((i = 0; i < 50; i++)); do
    sleep 0.1
    now=$(screen)
    [ "$now" = "$before" ] && [ $i -ge 1 ] && return 0
    before=$now
  done
}
# Types one transcript line: key names become keys (no Enter after them), text is typed.
type_line() {
  local text=$1 name
  if [[ "$text" != *"{"* ]]; then
    [ -n "$text" ] && keys -l "$text"
    keys Enter
    return
  fi
  while [ -n "$text" ]; do
    if [[ "$text" =~ ^\{([A-Za-z0-9]+)\}(.*)$ ]]; then
      name=${BASH_REMATCH[1]}
      text=${BASH_REMATCH[2]}
      case "${name^^}" in
        TAB) keys Tab ;;
        ESC) keys Escape ;;
        ENTER) keys Enter ;;
        F[0-9]*) keys "${name^^}" ;;
        *) fail "no tmux key for {$name}" ;;
      esac
    else
      keys -l "${text%%\{*}"
      text=${text#"${text%%\{*}"}
    fi
  done
}

n=0
while IFS= read -r entry; do
  [[ "$entry" == ">"* ]] || continue
  typed=${entry#>}
  typed=${typed# }
  n=$((n + 1))
  type_line "$typed"
  settle
  # The checks of what the document says the reader sees, at the step that shows it.
  case "$typed" in
    '20 PRINT "Goodbye')
      expect_row 1 'ERROR 1001  [A-Z]'
      expect_row 24 '^20 PRINT "Goodbye$' ;;
    'GO END') expect_row 1 '^ READY' ;;
    '10001{TAB}Acme Corp{TAB}Springfield{TAB}5000.00{F2}')
      expect 'Saved customer 10001'
      expect 'Customer' ;;
    '10001{F2}') expect 'Customer 10001 is on file already' ;;
    '10002') expect '^10002 Baker & Sons, Shelbyville, limit 2500' ;;
    '10009') expect '^No customer 10009' ;;
    'TYPE report.txt')
      expect '^10001  Acme Corp +Springfield +5,000\.00'
      expect '^ +Total +7,500\.00' ;;
  esac
  # The first RUN stops past the last line: the document shows that error.
  if [ "$typed" = "RUN" ] && [ -z "${ran:-}" ]; then
    expect_row 1 'ERROR 213 at 00020:01'
    ran=1
  fi
done < "$transcript"

[ "$n" -gt 50 ] || fail "the transcript's lines were typed ($n)"
for f in cust.dat cust.key report.txt hello.vxp custent.vxp custfind.vxp custlist.vxp; do
  [ -f "$work/$f" ] || fail "the walk-through leaves $f"
done
# The end of the transcript leaves the system: the shell is back.
expect '^shell\$'
echo "getting started passed"
