#!/usr/bin/env bash
# Every stress scenario at full size on the executable given (make stress), with the time each
# took; the first failure fails the run.
# Usage: tests/stress/run.sh VELTRIX
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
status=0
for scenario in contention mixed crash registry diskfull; do
  started=$(date +%s)
  bash "$here/$scenario.sh" "$exe"
  result=$?
  if [ $result -eq 77 ]; then
    echo "$scenario: skipped"
  elif [ $result -eq 0 ]; then
    echo "$scenario: passed in $(( $(date +%s) - started )) s"
  else
    echo "$scenario: FAILED after $(( $(date +%s) - started )) s"
    status=1
  fi
done
exit $status
