#!/usr/bin/env bash
# A STATUS listing written to a file is a configuration file: a copy started with it reports no
# configuration message, and its own listing is the same line for line (the clock aside).
# Usage: status_config.sh VELTRIX
set -uo pipefail
exe=$1
. "$(dirname "$0")/../datafiles/copies.sh"

cat > first.sys <<'CFG'
BASEYEAR 1905
OPTION 14 ON
OPTION 22
OPTION 13 40
STYLE KEYWORDS UPPER LABELS LOWER INDENT 3 40
INSERT MIN_LENGTH 4
DATAHILITE ON
EDITOR vi, NOWAIT
EXECUTE "PRINT 7"
SPOOLCMD lp -d [PRINTER] [SPOOLFILE]
PRINTDIR /tmp
MAXRECALL 120
PAGEOFLOW 55
MAX_SORT_MEMORY 16 MB
RD 4
COLLATE ALTERNATE
FILENAMES MIXED_CASE
SUBSTITUTE CUSTDATA cust
SETENV REGION north
COLOR [SKY] #87CEEB
ATTRIBUTE [ALERT] RH
PRINTER EPSON
PRINTER LASER INIT "\E&l0O"
PRINTER TYPE LASER SELECT HP
BTREE_VERIFY cust.key
KEYBOARD 0100,"HELP"
WSID 12+3
CFG

out=$(printf 'STATUS CONFIG,ATTR,PRINTER,BTREE,KEYB,COLORS,SUBST > first.lst\n' | "$exe" -first.sys 2>&1)
check "the listing written" "7" "$out"
cp first.lst second.sys
out=$(printf 'STATUS CONFIG,ATTR,PRINTER,BTREE,KEYB,COLORS,SUBST > second.lst\n' | "$exe" -second.sys 2>&1)
check "read back without a message" "7" "$out"
# The clock line aside, the second listing is the first one.
check "same listing" "" "$(diff <(grep -av '^WSID=' first.lst) <(grep -av '^WSID=' second.lst))"
check "a setting read back" "1" "$(grep -ac '^BASEYEAR 1905'$'\r''$' second.lst)"
exit $fail
