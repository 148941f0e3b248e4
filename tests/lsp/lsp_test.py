#!/usr/bin/env python3
"""veltrix-lsp end to end, through tests/lsp/lspclient.py: the protocol's life cycle and its
faults (damaged frames, bodies that are no JSON, requests before initialize, unknown methods,
input that ends in the middle of a message), the diagnostics of a program with known faults
(numbers, texts and ranges, as LOAD and RUN report them), changes of one line and what they
cost, hover, definition, references, symbols, completion, and the formatting round trip: the
formatted file LOADed by the real veltrix lists as the formatter wrote it.

Usage: lsp_test.py VELTRIX-LSP VELTRIX [unittest arguments, e.g. the class to run]
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lspclient import Client, ServerGone  # noqa: E402

LSP = os.path.abspath(sys.argv[1])
VELTRIX = os.path.abspath(sys.argv[2])
URI = "file:///work/prog.vxb"

# A program with one fault of each kind the server reports, and the answer for each: document
# line, first and last column, error number (0 for a warning), and the message.
FAULTY = """\
10 PRINT "START" \\ GOSUB 100
20 GOTO 999
30 READ #1, USING 40: A$ EOF 999
40 PRINT "NOT A FORM"
50 PRINT (1
60 DEF FNA(X)
70 Y = FNB(2) + FNA(1)
80 NEXT J
print "no number"
90 REM first
90 REM second
100 RETURN
110 FORM C 10, Q 5
"""
FAULTY_DIAGNOSTICS = [
    (1, 8, 11, 1110, "ERROR 1110: a jump to a line that does not exist (line 00999 does not exist)"),
    (2, 18, 20, 1020, "ERROR 1020: a FORM structure error: unknown, misplaced or unbalanced item "
                      "(line 00040 is not a FORM line)"),
    (2, 29, 32, 1110, "ERROR 1110: a jump to a line that does not exist (line 00999 does not exist)"),
    (4, 9, 11, 9997, "ERROR 9997: unbalanced parentheses, or a library current without a call to "
                     "return from"),
    (5, 3, 6, 1110, "ERROR 1110: a jump to a line that does not exist (DEF FNA has no FNEND)"),
    (6, 7, 10, 2282, "ERROR 2282: a library function that is not linked (FNB has no DEF)"),
    (7, 3, 7, 220, "ERROR 220: NEXT without FOR"),
    (8, 0, 17, 1006, "ERROR 1006: a line or argument that is not understood (a program line "
                     "begins with its line number)"),
    (9, 0, 2, 0, "line 00090 is given again on line 11: LOAD keeps the later one"),
    (12, 15, 16, 1020, "ERROR 1020: a FORM structure error: unknown, misplaced or unbalanced item "
                       "(in this FORM)"),
]


def summary(diagnostics):
    return sorted((d["range"]["start"]["line"], d["range"]["start"]["character"],
                   d["range"]["end"]["character"], d.get("code", 0), d["message"])
                  for d in diagnostics)


def full(text):
    return [{"text": text}]


def edit(line0, char0, line1, char1, text):
    return {"range": {"start": {"line": line0, "character": char0},
                      "end": {"line": line1, "character": char1}}, "text": text}


class ServerTest(unittest.TestCase):
    def setUp(self):
        self.client = Client(LSP)

    def tearDown(self):
        self.client.close()

    def started(self, text=None, **kw):
        self.client.initialize(**kw)
        if text is not None:
            return self.client.open(URI, text)
        return None

    def stats(self):
        return self.client.request("veltrix/statistics", {"textDocument": {"uri": URI}})["result"]


class Protocol(ServerTest):
    def test_life_cycle(self):
        early = self.client.request("textDocument/hover", {
            "textDocument": {"uri": URI}, "position": {"line": 0, "character": 0}})
        self.assertEqual(early["error"]["code"], -32002)
        caps = self.client.initialize()["result"]["capabilities"]
        for name in ("hoverProvider", "definitionProvider", "referencesProvider",
                     "documentSymbolProvider", "documentFormattingProvider"):
            self.assertTrue(caps[name], name)
        self.assertEqual(caps["textDocumentSync"]["change"], 2)
        self.assertEqual(caps["positionEncoding"], "utf-16")
        again = self.client.request("initialize", {"capabilities": {}})
        self.assertEqual(again["error"]["code"], -32600)
        unknown = self.client.request("textDocument/rename", {})
        self.assertEqual(unknown["error"]["code"], -32601)
        self.assertEqual(self.client.request("shutdown")["result"], None)
        late = self.client.request("textDocument/documentSymbol",
                                   {"textDocument": {"uri": URI}})
        self.assertEqual(late["error"]["code"], -32600)
        self.client.notify("exit")
        self.assertEqual(self.client.proc.wait(10), 0)

    def test_help_file_named_by_the_client(self):
        # A file that does not exist: no hovers from the help file, everything else still works.
        self.client.initialize(options={"helpFile": "/nonexistent/ktcmd.kth"})
        self.client.open(URI, "10 GOSUB 10\n")
        self.assertIsNone(self.client.at("textDocument/hover", URI, 0, 4)["result"])
        target = self.client.at("textDocument/hover", URI, 0, 10)["result"]
        self.assertEqual(target["contents"]["value"], "```\n00010 GOSUB 10\n```")
        self.assertIn(b"no help file", self.client.read_stderr())
        # The help file beside the server, named explicitly.
        other = Client(LSP)
        try:
            other.initialize(options={"helpFile": os.path.join(os.path.dirname(LSP), "ktcmd.kth")})
            other.open(URI, "10 GOSUB 10\n")
            hover = other.at("textDocument/hover", URI, 0, 4)["result"]["contents"]["value"]
            self.assertTrue(hover.startswith("**GOSUB - "), hover)
        finally:
            other.close()

    def test_exit_without_shutdown_is_status_1(self):
        self.client.initialize()
        self.client.notify("exit")
        self.assertEqual(self.client.proc.wait(10), 1)

    def test_damaged_messages_are_answered_or_passed_over(self):
        self.client.initialize()
        c = self.client
        # No JSON: a parse error with a null id.
        c.send_raw(b"Content-Length: 9\r\n\r\n{not json")
        answer = c.read_message()
        self.assertEqual((answer["id"], answer["error"]["code"]), (None, -32700))
        # JSON of the wrong shape: an array, a request whose id is an object, no method.
        for body, code in ((b"[1,2]", -32600), (b'{"id":{},"method":"x"}', -32600),
                           (b'{"id":7}', -32600)):
            c.send_raw(b"Content-Length: %d\r\n\r\n" % len(body) + body)
            self.assertEqual(c.read_message()["error"]["code"], code, body)
        # Parameters of the wrong types: an answer, not a crash.
        bad = c.request("textDocument/hover", {"textDocument": {"uri": 5}, "position": "x"})
        self.assertEqual(bad["error"]["code"], -32602)
        bad = c.request("textDocument/hover", {"textDocument": {"uri": URI},
                                               "position": {"line": -1, "character": 0}})
        self.assertIn("result", bad)  # a document that is not open has nothing to show
        # Headers without a length, garbage between frames, a length that is no number, line
        # ends between messages: each passed over, and the next message is served.
        c.send_raw(b"Content-Type: x\r\n\r\n{}garbage\r\nContent-Length: x1\r\n\r\n\r\n\n")
        c.send_raw(b"ab\n\n")  # a short block that is no header, whole
        self.assertEqual(c.request("shutdown")["result"], None)
        c.notify("exit")
        self.assertEqual(c.proc.wait(10), 0)

    def test_split_frames_and_a_too_large_body(self):
        self.client.initialize()
        c = self.client
        body = b'{"jsonrpc":"2.0","id":41,"method":"shutdown"}'
        frame = b"Content-Length: %d\r\n\r\n" % len(body) + body
        for i in range(len(frame)):  # one byte at a time
            c.send_raw(frame[i:i + 1])
        self.assertEqual(c.read_message()["id"], 41)
        # A body announced larger than the server takes is skipped as it comes.
        c.send_raw(b"Content-Length: 99999999999\r\n\r\n" + b"x" * 1000)
        c.proc.stdin.close()
        self.assertEqual(c.proc.wait(10), 1)  # the input ended without exit

    def test_input_ending_inside_a_message(self):
        self.client.initialize()
        self.client.send_raw(b"Content-Length: 100\r\n\r\n{\"jsonrpc\"")
        self.client.proc.stdin.close()
        self.assertEqual(self.client.proc.wait(10), 1)
        self.assertEqual(self.client.proc.stderr.read(), b"")


class Diagnostics(ServerTest):
    def test_known_faults(self):
        diagnostics = self.started(FAULTY)["diagnostics"]
        self.assertEqual(summary(diagnostics), sorted(FAULTY_DIAGNOSTICS))
        for d in diagnostics:
            self.assertEqual(d["source"], "veltrix")
            self.assertEqual(d["severity"], 2 if "code" not in d else 1)

    def test_load_reports_the_same_first_fault(self):
        # LOAD stops at the first line it refuses, with that line's number: the server's first
        # line error has the same number.
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "p.vxb"), "w") as f:
                f.write(FAULTY)
            run = subprocess.run([VELTRIX], input=b"LOAD p.vxb,SOURCE\n", cwd=work,
                                 capture_output=True, timeout=60)
        self.assertIn(b"ERROR 9997", run.stderr)

    def test_a_change_compiles_only_the_changed_line(self):
        lines = ["%d PRINT %d" % (10 * i, i) for i in range(1, 501)]
        self.assertEqual(self.started("\n".join(lines) + "\n")["diagnostics"], [])
        before = self.stats()
        # Line 250 becomes a GOTO to a line that does not exist, then to one that does.
        d = self.client.change(URI, 2, [edit(249, 5, 249, 14, "GOTO 12345")])
        self.assertEqual(summary(d["diagnostics"]),
                         [(249, 10, 15, 1110, "ERROR 1110: a jump to a line that does not exist "
                                              "(line 12345 does not exist)")])
        self.assertEqual(d["version"], 2)
        after = self.stats()
        self.assertLessEqual(after["compiles"] - before["compiles"], 2)
        self.assertEqual(after["rebuilds"], before["rebuilds"])
        d = self.client.change(URI, 3, [edit(249, 10, 249, 15, "10")])
        self.assertEqual(d["diagnostics"], [])
        # Undoing to a text seen before costs no compile of that text again.
        before = self.stats()["compiles"]
        self.client.change(URI, 4, [edit(249, 5, 249, 12, "PRINT 250")])
        self.assertLessEqual(self.stats()["compiles"] - before, 1)

    def test_full_text_changes_and_line_moves(self):
        self.started("10 GOTO 20\n20 END\n")
        d = self.client.change(URI, 2, full("10 GOTO 20\n30 END\n"))
        self.assertEqual(summary(d["diagnostics"])[0][3], 1110)
        # Inserting and removing lines keeps each line with its own facts.
        d = self.client.change(URI, 3, [edit(1, 0, 1, 0, "20 REM\n")])
        self.assertEqual(d["diagnostics"], [])
        d = self.client.change(URI, 4, [edit(0, 0, 2, 0, "")])
        self.assertEqual(d["diagnostics"], [])
        self.assertEqual(self.stats()["lines"], 2)

    def test_deleting_a_block_end_is_found_again(self):
        # The closing line of each block goes away after the program was resolved with it.
        text = "10 DEF FNA(X)\n20 FNA=X\n30 FNEND\n40 IF A THEN\n50 PRINT 1\n60 END IF\n70 END\n"
        self.assertEqual(self.started(text)["diagnostics"], [])
        d = self.client.change(URI, 2, [edit(2, 0, 3, 0, "")])
        self.assertEqual([x["code"] for x in d["diagnostics"]], [1110])
        self.assertIn("FNA has no FNEND", d["diagnostics"][0]["message"])
        d = self.client.change(URI, 3, [edit(4, 0, 5, 0, "")])
        self.assertEqual(summary(d["diagnostics"])[1][:4], (2, 3, 5, 1110))

    def test_lines_that_load_deletes_or_refuses(self):
        text = "10 PRINT\n10\n20 GOTO 10\n" + "30 REM " + "X" * 800 + "\n40 GOTO 30\n"
        d = summary(self.started(text)["diagnostics"])
        self.assertEqual(d[0][:4], (0, 0, 2, 0))  # deleted by the number alone after it
        self.assertEqual(d[1][:4], (1, 0, 2, 0))
        self.assertEqual(d[2][:4], (2, 8, 10, 1110))  # 10 is gone
        self.assertEqual(d[3][3], 1060)  # too long; the GOTO to it is not reported again
        self.assertEqual(len(d), 4)

    def test_utf8_columns_when_the_client_counts_bytes(self):
        answer = self.client.initialize(encodings=["utf-16", "utf-8"])
        self.assertEqual(answer["result"]["capabilities"]["positionEncoding"], "utf-8")
        d = self.client.open(URI, '10 PRINT "\u00e9\U0001F600" \\ GOTO 99\n')["diagnostics"]
        self.assertEqual(d[0]["range"]["start"]["character"], 25)

    def test_utf16_columns(self):
        d = self.started('10 PRINT "\u00e9\U0001F600" \\ GOTO 99\n')["diagnostics"]
        self.assertEqual(d[0]["range"]["start"]["character"], 22)


PROGRAM = """\
10 DIM NAME$*30, TOTALS(12)
20 LET COUNT = 0
30 TOP: PRINT USING 200: NAME$, FNTAX(COUNT)
40 IF ERR = 4152 THEN GOTO 30
50 GOSUB 100
60 GOTO TOP
100 COUNT = COUNT + 1 \\ RETURN
110 DEF FNTAX(X) = X * 0.2
200 FORM C 30, N 10.2
"""


class Features(ServerTest):
    def setUp(self):
        super().setUp()
        self.assertEqual(self.started(PROGRAM)["diagnostics"], [])

    def at(self, method, line, character, **extra):
        return self.client.at(method, URI, line, character, **extra)["result"]

    def test_hover(self):
        keyword = self.at("textDocument/hover", 4, 4)["contents"]["value"]
        self.assertTrue(keyword.startswith("**GOSUB - "), keyword)
        function = self.at("textDocument/hover", 1, 4)["contents"]["value"]  # LET
        self.assertIn("LET", function)
        error = self.at("textDocument/hover", 3, 12)["contents"]["value"]
        self.assertTrue(error.startswith("**ERR4152"), error)
        variable = self.at("textDocument/hover", 2, 27)["contents"]["value"]
        self.assertIn("`NAME$`: string variable, dimensioned on:", variable)
        self.assertIn("00010 DIM NAME$*30, TOTALS(12)", variable)
        array = self.at("textDocument/hover", 0, 20)["contents"]["value"]
        self.assertIn("numeric array of 1 dimension", array)
        plain = self.at("textDocument/hover", 1, 9)["contents"]["value"]
        self.assertIn("not in a DIM statement", plain)
        target = self.at("textDocument/hover", 4, 9)
        self.assertEqual(target["contents"]["value"], "```\n00100 COUNT = COUNT + 1 \\ RETURN\n```")
        self.assertEqual(target["range"]["start"], {"line": 4, "character": 9})
        fn = self.at("textDocument/hover", 2, 37)["contents"]["value"]
        self.assertIn("00110 DEF FNTAX(X) = X * 0.2", fn)
        self.assertIsNone(self.at("textDocument/hover", 3, 1))  # the line's own number

    def test_hover_on_a_built_in_function(self):
        self.client.change(URI, 2, [edit(1, 14, 1, 15, "LEN(NAME$)")])
        hover = self.at("textDocument/hover", 1, 15)["contents"]["value"]
        self.assertTrue(hover.startswith("**LEN - "), hover)

    def test_definition(self):
        goto = self.at("textDocument/definition", 4, 9)
        self.assertEqual(goto[0]["range"]["start"], {"line": 6, "character": 0})
        self.assertEqual(goto[0]["uri"], URI)
        using = self.at("textDocument/definition", 2, 20)
        self.assertEqual(using[0]["range"]["start"]["line"], 8)
        fn = self.at("textDocument/definition", 2, 34)
        self.assertEqual(fn[0]["range"], {"start": {"line": 7, "character": 8},
                                          "end": {"line": 7, "character": 13}})
        label = self.at("textDocument/definition", 5, 9)
        self.assertEqual(label[0]["range"]["start"], {"line": 2, "character": 3})
        dim = self.at("textDocument/definition", 2, 26)
        self.assertEqual(dim[0]["range"]["start"], {"line": 0, "character": 7})
        self.assertIsNone(self.at("textDocument/definition", 1, 0))

    def test_references(self):
        refs = self.at("textDocument/references", 6, 1, context={"includeDeclaration": True})
        self.assertEqual(sorted((r["range"]["start"]["line"], r["range"]["start"]["character"])
                                for r in refs), [(4, 9), (6, 0)])
        refs = self.at("textDocument/references", 1, 10, context={"includeDeclaration": False})
        self.assertEqual(sorted((r["range"]["start"]["line"], r["range"]["start"]["character"])
                                for r in refs), [(1, 7), (2, 38), (6, 4), (6, 12)])

    def test_symbols(self):
        symbols = self.client.request("textDocument/documentSymbol",
                                      {"textDocument": {"uri": URI}})["result"]
        got = [(s["name"], s["kind"], s["selectionRange"]["start"]["line"]) for s in symbols]
        self.assertEqual(got, [("NAME$", 13, 0), ("TOTALS", 18, 0), ("TOP", 20, 2),
                               ("FNTAX", 12, 7), ("FORM 00200", 23, 8)])

    def test_completion(self):
        items = self.at("textDocument/completion", 1, 0)["items"]
        labels = {i["label"]: i["kind"] for i in items}
        for keyword in ("PRINT", "GOSUB", "FORM", "USING", "KEY="):
            self.assertEqual(labels.get(keyword), 14, keyword)
        for function in ("LEN", "STR$", "CNVRT$"):
            self.assertEqual(labels.get(function), 3, function)
        self.assertEqual(labels.get("NAME$"), 6)
        self.assertEqual(labels.get("COUNT"), 6)
        self.assertEqual(labels.get("FNTAX"), 3)
        self.assertEqual(labels.get("TOP"), 18)


def list_program(path):
    """The program file LOADed by veltrix and LISTed, through its stream front end."""
    work = os.path.dirname(path)
    run = subprocess.run([VELTRIX], input=b"LOAD %s,SOURCE\nLIST\n" % os.path.basename(path).encode(),
                         cwd=work, capture_output=True, timeout=60)
    if run.stderr:
        raise AssertionError("veltrix: %r" % run.stderr)
    return run.stdout.decode("latin-1")


def apply_edits(text, edits):
    lines = text.split("\n")
    for e in sorted(edits, key=lambda e: -e["range"]["start"]["line"]):
        r = e["range"]
        self_line = r["start"]["line"]
        assert r["end"]["line"] == self_line
        line = lines[self_line]
        lines[self_line] = line[:r["start"]["character"]] + e["newText"] + line[r["end"]["character"]:]
    return "\n".join(lines)


class Formatting(ServerTest):
    SOURCE = """\
  10 rem   a program typed loosely
20 dim a$*20 , b(3)
 30 for i=1 to 3 \\ b(i)=i*2 \\ next i   
40 read #1, using 100 ,key=k$: a$ eof 50 ! comment  kept
50   print   "a" ;  b(2)
100 FORM C 20
110 end
"""

    def test_formatted_file_loads_and_lists_the_same(self):
        self.started(self.SOURCE)
        edits = self.client.request("textDocument/formatting", {
            "textDocument": {"uri": URI}, "options": {"tabSize": 4, "insertSpaces": True}})["result"]
        formatted = apply_edits(self.SOURCE, edits)
        self.assertEqual(formatted.split("\n")[0], "00010 rem   a program typed loosely")
        with tempfile.TemporaryDirectory() as work:
            original = os.path.join(work, "orig.vxb")
            again = os.path.join(work, "fmt.vxb")
            with open(original, "w") as f:
                f.write(self.SOURCE)
            with open(again, "w") as f:
                f.write(formatted)
            listed = list_program(again)
            self.assertEqual(listed, formatted)
            self.assertEqual(list_program(original), formatted)
        # Formatting a formatted document changes nothing.
        self.client.change(URI, 2, full(formatted))
        again = self.client.request("textDocument/formatting", {
            "textDocument": {"uri": URI}, "options": {}})["result"]
        self.assertEqual(again, [])

    def test_lines_that_do_not_compile_are_left_alone(self):
        self.started("10 print (\n 20 print\n")
        edits = self.client.request("textDocument/formatting", {
            "textDocument": {"uri": URI}, "options": {}})["result"]
        self.assertEqual(edits, [{"range": {"start": {"line": 1, "character": 0},
                                            "end": {"line": 1, "character": 9}},
                                  "newText": "00020 print"}])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
