#!/usr/bin/env bash
# Start-up to exit through SYSTEM: our executable against bwbasic, alternating runs in one go.
# Usage: bench/startup/run.sh VELTRIX [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
runs=${2:-1000}
out=$(dirname "$exe")/bench
mkdir -p "$out"
g++ -O2 -std=c++20 -o "$out/startup_bench" "$here/startup_bench.cpp"
peer=$(command -v bwbasic) || { echo "bwbasic is not installed (scripts/deps.sh bwbasic)" >&2; exit 1; }
echo "startup: $runs runs each, alternating, stdin \"SYSTEM\""
# bwbasic reads "SYSTEM" at its prompt and quits, as we do.
"$out/startup_bench" "$runs" "$exe" -- "$peer"
