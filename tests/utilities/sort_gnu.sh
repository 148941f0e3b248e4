#!/usr/bin/env bash
# The SORT command of the real executable against GNU sort on the same data: a BASIC program
# loads text lines into a data file (character, numeric text, packed, binary and zoned fields,
# with many equal keys), SORT orders it under a control file with a sort memory of 2 MB and a
# wide key field, so that the records spill into many runs merged in two passes, and the lines
# read back from the output must equal `sort -s` of the text lines with the same keys.
# Usage: sort_gnu.sh VELTRIX [RECORDS]
set -uo pipefail
exe=$1
n=${2:-10000}
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
fail=0
run() { printf '%s\n' "$@" | "$exe" 2>&1; }
# A copy with 2 MB of sort memory: runs of about 500 records, merged 16 at a time.
printf 'MAX_SORT_MEMORY 2 MB\n' > small.sys
run_small() { printf '%s\n' "$@" | "$exe" "-$work/small.sys" 2>&1; }

# NAME|AMOUNT|CODE|SEQ, 32 characters; few names and codes, so keys repeat.
awk -v n="$n" 'BEGIN { srand(11); split("A a B Zz", f, " ");
  for (i = 1; i <= n; i++) {
    name = sprintf("%-6s", f[1 + int(rand() * 4)] substr("xY", 1 + int(rand() * 2), 1));
    printf "%s|%10.2f|%7d|%06d\n", name, (int(rand() * 801) - 400) / 4, int(rand() * 201) - 100, i } }' > src.txt

# Record: 1 name C 6, 7 amount N 10.2, 17 code PD 5, 22 code BH 4, 26 code ZD 7, 33 the line,
# 65 amount D, 73 amount S, 77 code BL 2, 79 code B 4, then blanks to 2064 (a wide key field
# over them makes the sort records large).
out=$(run '5 DIM L$*40' '10 OPEN #1: "NAME=src.txt", DISPLAY, INPUT' \
  '20 OPEN #2: "NAME=in.dat,RECL=2064,REPLACE", INTERNAL, OUTPUT' \
  '30 LINPUT #1: L$ EOF 90' \
  '40 C = VAL(L$(19:25)) \ A = VAL(L$(8:17))' \
  '50 WRITE #2, USING 100: L$(1:6), A, C, C, C, L$, A, A, C, C' \
  '60 GOTO 30' '90 CLOSE #1: ' '92 CLOSE #2: ' '95 PRINT "LOADED"' '99 END' \
  '100 FORM C 6, N 10.2, PD 5, BH 4, ZD 7, C 32, D, S, BL 2, B 4' 'RUN')
case "$out" in *LOADED*) ;; *) echo "loading failed: $out"; exit 1 ;; esac
cp in.dat in.before

# sorted NAME MASK-FIELDS GNU-KEYS... : SORT with these key fields (and the wide blank field)
# against sort -s with these keys.
sorted() {
  local name=$1 mask=$2; shift 2
  printf '%s\r\n' "! $name" "FILE in.dat,out.dat,,R,,SHRI,REPLACE" "MASK $mask, 101,1964,C" > sort.ctl
  local said
  said=$(run_small 'SORT sort.ctl -N' '5 DIM L$*40' \
    '10 OPEN #1: "NAME=out.dat", INTERNAL, INPUT' \
    '20 OPEN #2: "NAME=got.txt,REPLACE", DISPLAY, OUTPUT' \
    '30 READ #1, USING 100: L$ EOF 90' '40 PRINT #2: L$' '50 GOTO 30' \
    '90 CLOSE #1: ' '92 CLOSE #2: ' '99 END' '100 FORM POS 33, C 32' 'RUN')
  sort -s -t'|' "$@" src.txt > want.txt
  tr -d '\r' < got.txt > got.lf
  if ! cmp -s want.txt got.lf; then
    echo "$name: differs from sort -s $*: $said"; diff want.txt got.lf | head -5; fail=1
  fi
  if ls SORT*.WRK >/dev/null 2>&1; then echo "$name: work file left"; fail=1; fi
  if ! cmp -s in.dat in.before; then echo "$name: input changed"; fail=1; fi
}

sorted "name, amount descending" "1,6,C, 7,10,N,D" -k1,1 -k2,2gr
sorted "packed descending, name descending" "17,5,PD,D, 1,6,C,D" -k3,3nr -k1,1r
sorted "binary" "22,4,BH" -k3,3n
sorted "zoned descending" "26,7,ZD,D" -k3,3nr
sorted "amount, binary descending" "7,10,N, 22,4,BH,D" -k2,2g -k3,3nr
sorted "double descending" "65,8,D,D" -k2,2gr
sorted "single, low byte first descending" "73,4,S, 77,2,BL,D" -k2,2g -k3,3nr
sorted "binary low byte first" "79,4,B" -k3,3n

# Record numbers (B) of the selected records: names from A to B, not those of code 0 to 9.
printf '%s\r\n' "FILE in.dat,num.dat,,B,,,REPLACE" "RECORD I,1,1,C,'A','B'" \
  "RECORD O,17,5,PD,'0','9'" "MASK 26,7,ZD, 101,1964,C" > sort.ctl
said=$(run_small 'SORT sort.ctl -N' '5 DIM L$*40' \
  '10 OPEN #1: "NAME=num.dat", INTERNAL, INPUT' \
  '15 OPEN #3: "NAME=in.dat", INTERNAL, INPUT, RELATIVE' \
  '20 OPEN #2: "NAME=got.txt,REPLACE", DISPLAY, OUTPUT' \
  '30 READ #1, USING 100: R EOF 90' '35 READ #3, USING 110, REC=R: L$' '40 PRINT #2: L$' \
  '50 GOTO 30' '90 CLOSE #1: ' '92 CLOSE #2: ' '99 END' '100 FORM B 4' '110 FORM POS 33, C 32' 'RUN')
awk -F'|' '$1 >= "A" && $1 < "C" && !($3 + 0 >= 0 && $3 + 0 <= 9)' src.txt | sort -s -t'|' -k3,3n > want.txt
tr -d '\r' < got.txt > got.lf
if ! cmp -s want.txt got.lf; then echo "record numbers differ: $said"; diff want.txt got.lf | head -5; fail=1; fi

exit $fail
