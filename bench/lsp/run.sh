#!/usr/bin/env bash
# The language server's one-line change of a 5,000-line program, beside its whole-program open.
# Usage: bench/lsp/run.sh VELTRIX-LSP [CHANGES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec python3 "$here/lsp_bench.py" "$(realpath "$1")" "${2:-200}"
