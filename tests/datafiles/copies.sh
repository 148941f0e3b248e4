# Helpers of the tests that run copies of the executable side by side in one scratch directory
# (sourced with the executable in $exe): the directory and its removal, `check`, copies started
# on fifos (`start`, `type_in`, `finish`, `await`) and copies given their whole input (`run`).
# Every copy still running when the test ends is killed.
work=$(mktemp -d)
pids=()
fds=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 2
fail=0
check() {  # check WHAT EXPECTED GOT
  if [ "$2" != "$3" ]; then echo "$1: expected [$2], got [$3]"; fail=1; fi
}
now() { date +%s%N; }
ms_since() { echo $(( ($(now) - $1) / 1000000 )); }

# start NAME [ARG...]: a copy (given the arguments) that reads its typed lines from the fifo
# NAME.in (held open on fd NAME_fd) and writes NAME.out and NAME.err; its pid is in NAME_pid.
start() {
  mkfifo "$1.in"
  # The copy must not hold the other copies' fifos open, or they would never see their end.
  (for f in "${fds[@]}"; do eval "exec $f>&-"; done; exec "$exe" "${@:2}" < "$1.in" > "$1.out" 2> "$1.err") &
  printf -v "$1_pid" '%s' $!
  pids+=($!)
  local fd
  exec {fd}> "$1.in"
  printf -v "$1_fd" '%s' "$fd"
  fds+=("$fd")
}
# type NAME LINE...: lines typed into a started copy.
type_in() {
  local fdvar="$1_fd"; shift
  printf '%s\n' "$@" >&"${!fdvar}"
}
# finish NAME: ends a started copy's input and waits for it.
finish() {
  local fdvar="$1_fd" pidvar="$1_pid"
  local fd=${!fdvar}
  eval "exec $fd>&-"
  local f kept=()
  for f in "${fds[@]}"; do [ "$f" != "$fd" ] && kept+=("$f"); done
  fds=("${kept[@]}")
  wait "${!pidvar}" 2>/dev/null
}
# await FILE TEXT: waits (400 tries of 50 ms unless $await_tries says more) until a line of FILE starts with TEXT.
await() {
  for _ in $(seq "${await_tries:-400}"); do grep -q "^$2" "$1" 2>/dev/null && return 0; sleep 0.05; done
  echo "timed out waiting for [$2] in $1: $(cat "$1")"; fail=1; return 1
}
# run LINE...: a copy given these lines on its input; its output and error (2>&1) as the result.
run() { printf '%s\n' "$@" | "$exe" 2>&1; }
