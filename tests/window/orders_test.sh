#!/usr/bin/env bash
# A program written for the terminal runs unchanged in the window: docs/examples/orders.txt, its
# two windows with border and caption, field input with Tab, a date and a format field, F2 to
# save (the total and the "Saved" line), Escape to quit, the file it wrote listed by EXECUTE.
# Usage: orders_test.sh EXECUTABLE          (exit 77: Xvfb, xdotool, ImageMagick or tesseract missing)
set -u
exe=$(realpath "$1")
source "$(dirname "$0")/xvfb_lib.sh"
cp "$(dirname "$0")/../../docs/examples/orders.txt" "$work/orders.vxb"

start_session VX_FRONTEND=gui
line 'LOAD orders.vxb'
line 'RUN'
expect_row 1 '^ \+New order-+\+'
expect_row 12 '^ \+Keys=+\+'
expect_row 13 'F2 save   Esc quit'
expect_field message '^INPUT$'
typed 'Acme Tools'
key Tab
expect_row 2 'Customer    ACME TOOLS'
typed 'Hammer'
key Tab
typed '12'
key Tab
typed '19.95'
key Tab
typed '12/24/2026'
key Tab
typed 'Y'
key F2
expect_row 9 'Total +239\.40'
expect_row 14 'Saved: ACME TOOLS'
shot "$work/orders.png"
ocr "$work/orders.png" > "$work/ocr.txt"
grep -Eq 'New ord' "$work/ocr.txt" || { cat "$work/ocr.txt"; fail "the caption shows"; }
grep -Eq '239[. ]*40' "$work/ocr.txt" || { cat "$work/ocr.txt"; fail "the total shows"; }
key Escape
expect '^Orders: *$'
expect '^ACME TOOLS,Hammer,12,19\.95,20261224,Y *$'
expect_field status '^READY$'
line 'SYSTEM'
stop_session || fail "SYSTEM ends the session with 0"
tr -d '\r' < "$work/orders.txt" | grep -qx 'ACME TOOLS,Hammer,12,19.95,20261224,Y' || fail "the order is in the file"
echo "orders test passed"
