#!/usr/bin/env python3
"""One-line changes of a 5,000-line program in veltrix-lsp: the time from sending each
didChange (one line replaced by a new text, so the line is compiled afresh) to receiving its
publishDiagnostics, beside the time the server takes for the whole program at didOpen (every
line compiled and the program checked), in the same run.

Usage: lsp_bench.py VELTRIX-LSP [CHANGES]
"""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "lsp"))
from lspclient import Client  # noqa: E402

URI = "file:///bench/big.vxb"
LINES = 5000


def program():
    """A business-style program of 5,000 numbered lines: blocks of a subroutine each, with DIM,
    FORM, READ USING, FOR/NEXT, IF, GOSUB, DEF FN and PRINT lines."""
    out = []
    n = 10
    block = 0
    while len(out) + 15 <= LINES:
        b = block
        f = b % 9 + 1
        body = [
            (0, "REM block %d: read and total the records of file %d" % (b, f)),
            (5, "DIM NAME%d$*30, AMT%d(12)" % (b, b)),
            (10, 'OPEN #%d: "NAME=DATA%d.DAT,KFNAME=DATA%d.KEY", INTERNAL, INPUT, KEYED' % (f, b, b)),
            (15, 'READ #%d, USING %d, KEY="A%04d": NAME%d$, MAT AMT%d EOF %d' % (f, n + 75, b, b, b, n + 60)),
            (20, "TOTAL%d = 0" % b),
            (25, "FOR I = 1 TO 12 \\ TOTAL%d = TOTAL%d + AMT%d(I) \\ NEXT I" % (b, b, b)),
            (30, 'IF TOTAL%d > 1000 THEN GOSUB %d ELSE PRINT "SMALL"; NAME%d$' % (b, n + 65, b)),
            (35, "PRINT USING %d: NAME%d$, FNR%d(TOTAL%d) ! the rounded total" % (n + 75, b, b, b)),
            (40, 'X = X + 1 \\ Y$ = STR$(X) & "-" & NAME%d$(1:3)' % b),
            (45, "GOTO %d" % (n + 60)),
            (50, "DEF FNR%d(V) = INT(V * 100 + .5) / 100" % b),
            (60, "CLOSE #%d:" % f),
            (65, 'PRINT "LARGE"; TOTAL%d \\ RETURN' % b),
            (70, "RETURN"),
            (75, "FORM C 30, N 12.2"),
        ]
        for offset, text in body:
            out.append("%d %s" % (n + offset, text))
        n += 100
        block += 1
    while len(out) < LINES:  # the rest: remarks
        out.append("%d REM end of the blocks" % n)
        n += 1
    return "\n".join(out[:LINES]) + "\n"


def main():
    exe = os.path.abspath(sys.argv[1])
    changes = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    text = program()
    lines = text.split("\n")
    middle = LINES // 2
    while not lines[middle].split(" ", 1)[1].startswith("X = X"):
        middle += 1
    number = lines[middle].split(" ", 1)[0]
    client = Client(exe)
    client.initialize()
    start = time.perf_counter()
    opened = client.open(URI, text)
    open_ms = (time.perf_counter() - start) * 1000
    if opened["diagnostics"]:
        print("unexpected diagnostics at open:", opened["diagnostics"][:3])
        return 1
    times = []
    for k in range(changes):
        new = "%s X = X + %d \\ Y$ = STR$(X)" % (number, k + 2)  # a text never seen before
        change = [{"range": {"start": {"line": middle, "character": 0},
                             "end": {"line": middle, "character": len(lines[middle])}},
                   "text": new}]
        t0 = time.perf_counter()
        client.change(URI, k + 2, change)
        times.append((time.perf_counter() - t0) * 1000)
        lines[middle] = new
    stats = client.request("veltrix/statistics", {"textDocument": {"uri": URI}})["result"]
    client.stop()
    times.sort()
    print("lsp: %d-line program, %d one-line changes" % (LINES, changes))
    print("  didOpen to publishDiagnostics (whole program): %.1f ms" % open_ms)
    print("  didChange to publishDiagnostics: median %.2f ms, p95 %.2f ms, max %.2f ms"
          % (statistics.median(times), times[int(0.95 * (len(times) - 1))], times[-1]))
    print("  compiles %d (%d lines at open), rebuilds %d" % (stats["compiles"], LINES,
                                                          stats["rebuilds"]))
    return 0 if statistics.median(times) < 50 else 1


if __name__ == "__main__":
    sys.exit(main())
