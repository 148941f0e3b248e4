#!/usr/bin/env bash
# Runs one transcript through the executable's stream front end and compares what it printed.
# Usage: run_transcript.sh EXECUTABLE TRANSCRIPT   (the format is in README.md beside this file)
set -uo pipefail

exe=$1
transcript=$2
work=$(mktemp -d)

# Typed text: ^@ stands for a byte of value 0.
nul_bytes() { LC_ALL=C sed 's/\^@/\x00/g'; }
trap 'rm -rf "$work"' EXIT

: > "$work/in"; : > "$work/want.out"; : > "$work/want.err"; : > "$work/patterns"
want_status=0
out_lines=0
args=()
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    '>')     echo "" >> "$work/in" ;;
    '> '*)   printf '%s\n' "${line:2}" | nul_bytes >> "$work/in" ;;
    '<')     echo "" >> "$work/want.out"; out_lines=$((out_lines + 1)) ;;
    '< '*)   printf '%s\n' "${line:2}" >> "$work/want.out"; out_lines=$((out_lines + 1)) ;;
    '~ '*)   out_lines=$((out_lines + 1))
             printf '%s\n' "$line" >> "$work/want.out"
             printf '%s\t%s\n' "$out_lines" "${line:2}" >> "$work/patterns" ;;
    '! '*)   printf '%s\n' "${line:2}" >> "$work/want.err" ;;
    '= '*)   want_status=${line:2} ;;
    '$ '*)   line=${line//\{DIR\}/$(cd "$(dirname "$transcript")" && pwd)}
             read -r -a args <<< "${line:2}" ;;
    '#'*|'') ;;
    *) echo "$transcript: cannot read line: $line" >&2; exit 2 ;;
  esac
done < "$transcript"

(cd "$work" && "$exe" "${args[@]}" < "$work/in" > "$work/raw.out" 2> "$work/raw.err")
status=$?
# A byte of value 0 is shown as ^@ in what was written, as it is typed in the transcript.
LC_ALL=C sed 's/\x00/^@/g' "$work/raw.out" > "$work/got.out"
LC_ALL=C sed 's/\x00/^@/g' "$work/raw.err" > "$work/got.err"
# A line that matches its "~" pattern is shown as the pattern, so only other lines differ.
LC_ALL=C awk -v patterns="$work/patterns" '
  BEGIN { while ((getline l < patterns) > 0) { t = index(l, "\t"); re[substr(l, 1, t - 1) + 0] = substr(l, t + 1) } }
  { if ((NR in re) && $0 ~ ("^(" re[NR] ")$")) print "~ " re[NR]; else print }
' "$work/got.out" > "$work/got.matched" && mv "$work/got.matched" "$work/got.out"

fail=0
if ! diff -u --label expected --label got "$work/want.out" "$work/got.out" > "$work/d.out"; then
  echo "standard output differs:"; cat "$work/d.out"; fail=1
fi
if ! diff -u --label expected --label got "$work/want.err" "$work/got.err" > "$work/d.err"; then
  echo "standard error differs:"; cat "$work/d.err"; fail=1
fi
if [ "$status" != "$want_status" ]; then
  echo "exit status $status, expected $want_status"; fail=1
fi
exit $fail
