#!/usr/bin/env python3
# The interrupt key at a terminal is the attention key of the stream front end: the executable
# runs on a pseudo-terminal and gets Ctrl-C while a program loops, while an input statement
# waits and at the command prompt.  Each time the program must be kept and the process must go
# on; it ends with the status SYSTEM gives it.
# Usage: interrupt_test.py EXECUTABLE
import os
import pty
import select
import sys
import tempfile
import time

CTRL_C = "\x03"


class Session:
    def __init__(self, exe):
        self.work = tempfile.TemporaryDirectory()
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(self.work.name)
            # A line terminal: it keeps the stream front end (tests/terminal/ covers the full
            # screen).
            os.environ["TERM"] = "dumb"
            os.execv(exe, [exe])
        self.seen = ""  # everything the terminal showed so far
        self.checked = 0  # where the next expectation starts looking

    def type(self, text):
        os.write(self.fd, text.encode())

    def read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 4096)
        except OSError:  # the other side closed
            return False
        self.seen += data.decode(errors="replace")
        return bool(data)

    def expect(self, text, timeout=20):
        end = time.monotonic() + timeout
        while True:
            at = self.seen.find(text, self.checked)
            if at >= 0:
                self.checked = at + len(text)
                return
            left = end - time.monotonic()
            if left <= 0 or not self.read(left):
                fail(f"expected {text!r}; the terminal showed:\n{self.seen[self.checked:]}")

    def finish(self, timeout=20):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return status
            self.read(0.1)
        os.kill(self.pid, 9)
        fail("the process did not end")


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def main():
    s = Session(os.path.abspath(sys.argv[1]))

    # A looping program is interrupted; command mode comes back with the program kept.
    s.type("10 PRINT \"LOOP\" & \"ING\"\n20 GOTO 20\nRUN\n")
    s.expect("LOOPING")
    time.sleep(0.3)
    s.type(CTRL_C)
    time.sleep(0.3)
    s.type("LIST\n")
    s.expect("00010 PRINT")
    s.expect("00020 GOTO 20")
    s.type("GO END\n")

    # At the command prompt the key drops the line being typed and nothing else: the next run
    # is not stopped by it.
    s.type("PRINT \"LOST")
    time.sleep(0.3)
    s.type(CTRL_C)
    time.sleep(0.3)
    s.type("CLEAR\n30 FOR I = 1 TO 50 \\ NEXT I\n40 PRINT \"RAN\" & \"THROUGH\"\n45 END\nRUN\n")
    s.expect("RANTHROUGH")

    # An input statement that waits is interrupted too; the program stays to be resumed, and
    # resuming runs the input statement again.
    s.type("CLEAR\n50 LINPUT L$\n60 PRINT \"GOT \" & L$\n70 END\nRUN\n")
    time.sleep(0.5)
    s.type(CTRL_C)
    time.sleep(0.3)
    s.type("PRINT \"BACK\" & \"AGAIN\"\n")
    s.expect("BACKAGAIN")
    s.type("LIST\n")
    s.expect("00050 LINPUT L$")
    s.type("GO\n")
    time.sleep(0.3)
    s.type("TYPED\n")
    s.expect("GOT TYPED")

    s.type("SYSTEM 3\n")
    status = s.finish()
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 3:
        fail(f"the process ended with {status:#x}, not exit status 3:\n{s.seen}")
    if "ERROR" in s.seen:
        fail(f"an error was reported:\n{s.seen}")


main()
