#!/usr/bin/env bash
# The Vim syntax file of editors/vim: a .vxb file gets the filetype, and chosen places of a
# program get their syntax groups (line numbers over numbers, labels, strings that hold "!",
# both kinds of comment, keywords, built-in and user functions).  Skipped (77) without vim.
# Usage: vim_syntax_test.sh SOURCE-DIRECTORY
set -uo pipefail
src=$(cd "$1" && pwd)
command -v vim > /dev/null || { echo "vim is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/prog.vxb" <<'PROGRAM'
10 PRINT "A!B" ; A$ \ REM done ! x
20 TOP: GOSUB 100 ! note
30 rem whole line
40 X = LEN(A$) + FNA(1) + 2.5 \ read #1, key=k$: a$
PROGRAM
cat > "$work/check.vim" <<VIMSCRIPT
set rtp^=$src/editors/vim
filetype on
syntax on
edit $work/prog.vxb
let out = [&filetype]
for [l, c] in [[1,1],[1,4],[1,11],[1,12],[1,21],[1,23],[1,32],[2,4],[2,9],[2,19],[3,4],
             \ [4,8],[4,18],[4,27],[4,33],[4,42]]
  call add(out, l . ':' . c . ' ' . synIDattr(synID(l, c, 1), 'name'))
endfor
call writefile(out, '$work/got')
quit!
VIMSCRIPT
vim -N -u NONE -i NONE -es -S "$work/check.vim" < /dev/null
expected="veltrix
1:1 veltrixLineNumber
1:4 veltrixStatement
1:11 veltrixString
1:12 veltrixString
1:21 veltrixSeparator
1:23 veltrixRemark
1:32 veltrixRemark
2:4 veltrixLabel
2:9 veltrixControl
2:19 veltrixComment
3:4 veltrixRemark
4:8 veltrixFunction
4:18 veltrixUserFunction
4:27 veltrixNumber
4:33 veltrixStatement
4:42 veltrixClause"
if [ "$(cat "$work/got" 2> /dev/null)" != "$expected" ]; then
  echo "syntax groups differ:"
  diff <(echo "$expected") "$work/got"
  exit 1
fi
