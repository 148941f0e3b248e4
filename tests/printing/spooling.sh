#!/usr/bin/env bash
# Printer files through the real executable: SPOOLCMD runs a script that keeps a copy of the
# spool file and its arguments; the bytes must carry the translation, the [INIT+] and [RESET+]
# sequences and the page length, the arguments the copies, printer and workstation.  A command
# that fails keeps the spool file and reports 6260.
# Usage: spooling.sh VELTRIX
set -uo pipefail
exe=$1
. "$(dirname "$0")/../datafiles/copies.sh"
# runcfg CONFIG LINE...: a copy started with that configuration file, given these lines (no
# display, so that a preview is never opened).
runcfg() { local cfg=$1; shift; printf '%s\n' "$@" | env -u DISPLAY -u WAYLAND_DISPLAY "$exe" "-$cfg" 2>&1; }

cat > catch.sh <<'SH'
#!/bin/sh
# Keeps the spool file as caught.N and its arguments as caught.N.args.
n=1
while [ -e "caught.$n" ]; do n=$((n + 1)); done
cp "$1" "caught.$n" && echo "$@" > "caught.$n.args"
SH
chmod +x catch.sh
mkdir spool

cat > print.sys <<'CFG'
SPOOLPATH spool
SPOOLCMD -W sh ./catch.sh [SPOOLFILE] [COPIES] [PRINTER] [WSID] [PROGRAM]
PRINTER EPSON
PRINTER LPP 3
PRINTER [LOGO],"ACME"
PRINTER LASER INIT "\E&l0O"
PRINTER LASER RESET "\EE"
PRINTER LASER 2B1B45,"\E(s3B"
OPTION 47 ON
CFG

out=$(runcfg print.sys 'CONFIG LOGGING 9, log.txt' \
  '10 OPEN #1: "NAME=PRN:/10,COPIES=2", DISPLAY, OUTPUT' \
  '20 PRINT #1: "[BOLD]Total[/bold] [LOGO]"' \
  '30 PRINT #1: "line 2"' '40 PRINT #1: "line 3"' '50 PRINT #1: "line 4"' \
  '60 CLOSE #1:' \
  '70 OPEN #2: "NAME=PRN:/LASER", DISPLAY, OUTPUT' \
  '80 PRINT #2: CHR$(27)&"Ebold"' \
  '90 CLOSE #2:' \
  '100 OPEN #3: "NAME=PRN:/10", DISPLAY, OUTPUT' '110 CLOSE #3:' \
  '120 END' 'SAVE invoice' 'RUN' 'SYSTEM')
check "the run" "" "$out"

esc=$'\e'
expect1="${esc}@${esc}ETotal${esc}F ACME"$'\r\n'"line 2"$'\r\n'"line 3"$'\r\n\f'"line 4"$'\r\n'"${esc}@"
check "EPSON translation, init, reset and page length" "$(printf '%s' "$expect1" | od -c)" \
  "$(od -c < caught.1 2>/dev/null)"
args1=$(cat caught.1.args 2>/dev/null)
case "$args1" in
  "spool/ktspl"*".001 2 10 "[0-9]*" invoice"*) ;;
  *) echo "arguments of the first job: got [$args1]"; fail=1 ;;
esac
expect2="${esc}&l0O${esc}(s3Bbold"$'\r\n'"${esc}E"
check "a named printer's raw sequence, init and reset" "$(printf '%s' "$expect2" | od -c)" \
  "$(od -c < caught.2 2>/dev/null)"
check "a printer file closed without output prints nothing" "no" \
  "$([ -e caught.3 ] && echo yes || echo no)"
check "spool files removed after their command succeeded" "" "$(ls spool)"
grep -q "Initial spoolcmd string -W sh ./catch.sh \[SPOOLFILE\]" log.txt ||
  { echo "no initial spoolcmd line in the log"; fail=1; }
grep -q "Final spoolcmd string -W sh ./catch.sh spool/ktspl" log.txt ||
  { echo "no final spoolcmd line in the log"; fail=1; }

# "~": the command runs as written, without substitution.
cat > tilde.sys <<'CFG'
SPOOLPATH spool
SPOOLCMD ~echo "[SPOOLFILE]" > tilde.out
CFG
out=$(runcfg tilde.sys '10 OPEN #1: "NAME=PRN:/10", DISPLAY, OUTPUT' '20 PRINT #1: "x"' \
  '30 CLOSE #1:' '40 END' 'RUN' 'SYSTEM')
check "the ~ run" "" "$out"
check "a ~ command runs as written" "[SPOOLFILE]" "$(cat tilde.out 2>/dev/null)"

# A failing command: the program sees 6260 and the spool file stays for a second attempt.
cat > fail.sys <<'CFG'
SPOOLPATH spool
SPOOLCMD sh -c "exit 3" [SPOOLFILE]
CFG
out=$(runcfg fail.sys '10 OPEN #1: "NAME=PRN:/10", DISPLAY, OUTPUT' '20 PRINT #1: "keep me"' \
  '30 CLOSE #1: ERROR 50' '40 PRINT "closed"' '45 STOP' '50 PRINT "ERR";ERR' '60 END' 'RUN' 'SYSTEM')
check "the failing command's error" "ERR6260" "$out"
kept=$(ls spool)
case "$kept" in
  ktspl*.001) check "the kept spool file" "keep me" "$(tr -d '\r' < "spool/$kept")" ;;
  *) echo "spool file not kept: [$kept]"; fail=1 ;;
esac

# A command longer than 200 characters after substitution: 9006.
long=$(printf 'x%.0s' $(seq 190))
printf 'SPOOLPATH spool\nSPOOLCMD echo %s [SPOOLFILE]\n' "$long" > long.sys
rm -f spool/*
out=$(runcfg long.sys '10 OPEN #1: "NAME=PRN:/10", DISPLAY, OUTPUT' '20 PRINT #1: "y"' \
  '30 CLOSE #1: ERROR 50' '45 STOP' '50 PRINT "ERR";ERR' '60 END' 'RUN' 'SYSTEM')
check "a spool command too long" "ERR9006" "$out"

# Native printing: WIN: hands the drawn PDF to the same command; PREVIEW: without a display
# keeps the PDF and names it; an unsupported escape sequence fails the CLOSE with 6245.
rm -f spool/* caught.*
cat > win.sys <<'CFG'
SPOOLPATH spool
SPOOLCMD sh ./catch.sh [SPOOLFILE] [COPIES] [PRINTER]
CFG
out=$(runcfg win.sys '10 OPEN #1: "NAME=WIN:/10,COPIES=3", DISPLAY, OUTPUT' \
  '20 PRINT #1: CHR$(27)&"center"&"[BOLD]Native page[/BOLD]"' '30 CLOSE #1:' \
  '40 OPEN #2: "NAME=PREVIEW:/10", DISPLAY, OUTPUT' '50 PRINT #2: "Preview page"' \
  '60 CLOSE #2:' '70 OPEN #3: "NAME=WIN:/10", DISPLAY, OUTPUT' '80 PRINT #3: CHR$(27)&"Zq"' \
  '90 CLOSE #3: ERROR 110' '100 STOP' '110 PRINT "ERR";ERR' '120 END' 'RUN' 'SYSTEM' |
  grep -v "Print preview in")
check "native printing's run" "ERR6245" "$out"
check "WIN: sends a PDF" "%PDF" "$(head -c 4 caught.1 2>/dev/null)"
check "with its copies" "3 10" "$(cut -d' ' -f2- caught.1.args 2>/dev/null)"
if command -v pdftotext > /dev/null; then
  check "the PDF's text" "Native page" "$(pdftotext caught.1 - 2>/dev/null | sed -n '/./{s/^ *//;p;q}')"
fi
previews=$(cd spool && ls *.pdf 2>/dev/null)
check "PREVIEW: keeps its PDF" "1" "$(echo "$previews" | grep -c 'ktspl.*\.pdf$')"
if command -v pdftotext > /dev/null && [ -n "$previews" ]; then
  check "the preview's text" "Preview page" "$(pdftotext "spool/$previews" - | sed -n '/./{p;q}')"
fi
check "the failed job's spool file stays" "1" "$(cd spool && ls | grep -vc '\.pdf$')"

exit $fail
