#!/usr/bin/env bash
# The colouring grammar of editors/vscode with vscode-tmgrammar-test: the assertions of
# editors/vscode/test/*.test.vxb, and the example programs of docs/examples against the
# snapshots in editors/vscode/test/examples (a changed grammar or example shows as a
# difference; `vscode-tmgrammar-snap -u` on a copy makes new ones).  Skipped (77) when the node
# packages are not installed: scripts/deps.sh --test installs them from the lockfile.
# Usage: grammar_test.sh SOURCE-DIRECTORY
set -uo pipefail
src=$(cd "$1" && pwd)
ext=$src/editors/vscode
bin=$ext/node_modules/.bin
if [ ! -x "$bin/vscode-tmgrammar-test" ] || ! command -v node > /dev/null; then
  echo "the node packages of editors/vscode are not installed (scripts/deps.sh --test)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
cd "$ext" || exit 2
"$bin/vscode-tmgrammar-test" -g syntaxes/veltrix.tmLanguage.json "test/*.test.vxb" || fail=1
for example in "$src"/docs/examples/*.txt; do
  name=$(basename "$example")
  if [ ! -f "test/examples/$name.snap" ]; then
    echo "no snapshot for docs/examples/$name"; fail=1; continue
  fi
  cp "$example" "test/examples/$name.snap" "$work/"
done
"$bin/vscode-tmgrammar-snap" -s source.veltrix -g syntaxes/veltrix.tmLanguage.json "$work/*.txt" \
  || fail=1
exit $fail
