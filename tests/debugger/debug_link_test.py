#!/usr/bin/env python3
"""The debugger link end to end: the executable with its stream front end, tools/vxdebug.py as
the debugger over loopback.  Covers attaching through DEBUG LISTEN and DEBUG CONNECT, commands
typed by the debugger, syntax errors, break points and steps, forced breaks of a running loop,
commands refused while a program runs, the output of DEBUG: channels gathered and flushed in
order, disconnecting and attaching again, and messages that are malformed, oversized, truncated
or slow: the system closes the link, keeps running and serves the next debugger.  A debugger
that drips a message in never holds up the session, and (run as root) a debugger of another
user on this machine is refused both ways.

Usage: debug_link_test.py EXECUTABLE
"""

import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import vxdebug as vx  # noqa: E402

EXE = os.path.abspath(sys.argv[1])
READY = 14  # the run status of command mode with no program running
FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL: " + what, flush=True)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class System:
    """The executable; lines are typed on its standard input when the test wants."""

    def __init__(self, work):
        self.proc = subprocess.Popen([EXE], cwd=work, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def type(self, line):
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def listen(self, port):
        self.type("DEBUG LISTEN 127.0.0.1:%d" % port)
        return vx.DebugClient.connect("127.0.0.1", port)

    def alive(self):
        return self.proc.poll() is None

    def finish(self):
        try:
            out, err = self.proc.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, err = self.proc.communicate()
        return self.proc.returncode, out.decode("latin-1"), err.decode("latin-1")


def ready(client, seen=None):
    """The next ENTER_INPUT_MODE: (status, error)."""
    return client.wait_for(vx.ENTER_INPUT_MODE, timeout=20, seen=seen).values


def command(client, text, seen=None):
    """Issues a command and waits until command mode asks for the next one."""
    check(client.issue(text) == 0, "command taken: " + text)
    return ready(client, seen)


def alive_file(system, work, name):
    """Types statements that write a file, and tells how long the file took to appear."""
    path = os.path.join(work, name)
    start = time.monotonic()
    system.type('OPEN #9: "NAME=%s,REPLACE", DISPLAY, OUTPUT' % name)
    system.type("CLOSE #9:")
    while not os.path.exists(path) and time.monotonic() - start < 20:
        time.sleep(0.05)
    return time.monotonic() - start if os.path.exists(path) else None


def slow_peer_is_dropped(system, client, port, work):
    """A debugger that sends a header, then a byte every 2 seconds: the session goes on serving
    its keyboard meanwhile, and the link is closed about 5 seconds after the message began."""
    client.sock.sendall(struct.pack(">II", 8 + 100, vx.ISSUE_COMMAND))
    began = time.monotonic()
    took = alive_file(system, work, "alive1.txt")
    check(took is not None and took < 1.5,
          "the session works while a message drips in (%s s)" % took)
    closed_at = None
    for _ in range(6):
        try:
            client.sock.sendall(b"x")
        except OSError:
            closed_at = time.monotonic()
            break
        try:
            while True:
                client.next_event(2.0)
        except vx.LinkClosed:
            closed_at = time.monotonic()
            break
        except TimeoutError:
            pass
    check(closed_at is not None and 4.0 < closed_at - began < 9.0,
          "a message not complete in 5 s ends the link (after %s s)" %
          (None if closed_at is None else round(closed_at - began, 1)))
    client.sock.close()
    check(system.alive(), "alive after a slow debugger")
    client = system.listen(port)
    ready(client)
    return client


# A python that another user can run: this one, unless it lives in a directory that others may
# not enter (a per-user installation), else Debian's.
def peer_python():
    for candidate in (sys.executable, "/usr/bin/python3"):
        try:
            if subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                               candidate, "-c", "pass"], timeout=30,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return candidate
        except (OSError, subprocess.TimeoutExpired):
            pass
    return None


PEER_PYTHON = None

CONNECT_AS_NOBODY = """
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
data = b""
try:
    while True:
        part = s.recv(4096)
        if not part:
            break
        data += part
except OSError:
    pass
print(len(data))
"""

LISTEN_AS_NOBODY = """
import socket, sys
l = socket.socket()
l.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
l.bind(("127.0.0.1", 0))
l.listen(1)
print(l.getsockname()[1], flush=True)
l.settimeout(30)
c, _ = l.accept()
c.settimeout(10)
data = b""
try:
    while True:
        part = c.recv(4096)
        if not part:
            break
        data += part
except OSError:
    pass
print(len(data), flush=True)
"""


def as_nobody(script, *args):
    return subprocess.Popen(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                             PEER_PYTHON, "-c", script] + [str(a) for a in args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd="/")


def other_users_are_refused(system, client, port, work):
    """Another user's process on this machine never links: DEBUG LISTEN closes its connection
    unread and goes on waiting for ours; DEBUG CONNECT to its listener fails with 424."""
    global PEER_PYTHON
    if os.geteuid() != 0:
        print("SKIP: another user's peer needs root to start it")
        return
    PEER_PYTHON = peer_python()
    if not PEER_PYTHON:
        print("SKIP: no python that user 65534 can run")
        return
    check(client.issue("DEBUG DISCONNECT") == 0, "DISCONNECT taken")
    client.sock.close()
    system.type("DEBUG LISTEN 127.0.0.1:%d" % port)
    time.sleep(0.5)
    nobody = as_nobody(CONNECT_AS_NOBODY, port)
    out, err = nobody.communicate(timeout=60)
    check(nobody.returncode == 0 and out.strip() == b"0",
          "another user's connection is closed with nothing sent (%r %r)" % (out, err[-300:]))
    client = vx.DebugClient.connect("127.0.0.1", port)
    ready(client)
    command(client, "PRINT 5 * 5")
    check(client.issue("DEBUG DISCONNECT") == 0, "DISCONNECT taken")
    client.sock.close()

    listener = as_nobody(LISTEN_AS_NOBODY)
    their_port = int(listener.stdout.readline())
    system.type("DEBUG CONNECT 127.0.0.1:%d" % their_port)
    out, err = listener.communicate(timeout=60)
    check(out.strip() == b"0", "nothing is sent to another user's debugger (%r %r)" % (out, err))
    took = alive_file(system, work, "alive2.txt")
    check(took is not None, "the session goes on after refusing another user's debugger")


def events_of(client, text):
    """Issues a command and returns every message up to the next ENTER_INPUT_MODE, in the order
    they came, the answer to the command included."""
    client.send(vx.ISSUE_COMMAND, text.encode("latin-1"))
    events = []
    while not events or events[-1].kind != vx.ENTER_INPUT_MODE:
        events.append(client.next_event(20))
    return events


def shape(events):
    """(name, values, length of the data) of each message."""
    return [(e.name, e.values, len(e.text)) for e in events]


def long_writes_and_break_order(client):
    """Writes of several thousand bytes arrive whole, each after what was gathered before it;
    a line break point and a step into a clause tell the debugger in order: the answer to the
    command, the program's output, the break, then the wait for a command (status 7)."""
    command(client, "CLEAR")
    for line in ['10 OPEN #7: "NAME=DEBUG:9,RECL=32000", DISPLAY, OUTPUT',
                 '15 DIM X$*2500, Y$*3000',
                 '20 X$ = RPT$("x", 2500) \\ Y$ = RPT$("y", 3000)',
                 '30 PRINT #7: "first"',
                 '40 PRINT #7: X$; X$',
                 '50 PRINT #7: Y$; Y$; Y$; Y$; Y$; Y$; Y$; Y$; Y$; Y$',
                 '60 A = 1 \\ PRINT #7: "step" \\ A = 2',
                 '70 END']:
        command(client, line)
    command(client, "BREAK 60")
    events = events_of(client, "RUN")
    check([e.kind for e in events] == [vx.ISSUE_COMMAND_RESPONSE, vx.DEBUGGER_FILE_DATA,
                                       vx.DEBUGGER_FILE_DATA, vx.DEBUGGER_FILE_DATA,
                                       vx.DEBUG_LINE_BREAK, vx.ENTER_INPUT_MODE],
          "RUN to a break point: %r" % shape(events))
    if len(events) == 6:
        data = [e.text for e in events[1:4]]
        check(data[0] == b"first\r\n" and data[1] == b"x" * 5000 + b"\r\n" and
              data[2] == b"y" * 30000 + b"\r\n" and
              all(e.values == (9,) for e in events[1:4]),
              "long writes whole and in order: %r" % shape(events[1:4]))
        check(events[4].values == (60, 1) and events[5].values == (7, 0),
              "the break at 60:1, then status 7: %r" % shape(events[4:]))
    events = events_of(client, "DEBUG STEP INTO CLAUSE")
    check([e.kind for e in events] == [vx.ISSUE_COMMAND_RESPONSE, vx.DEBUG_BEGIN_BREAK,
                                       vx.ENTER_INPUT_MODE] and events[2].values == (7, 0),
          "a step into clause 1: %r" % shape(events))
    events = events_of(client, "DEBUG STEP INTO CLAUSE")
    check([e.kind for e in events] == [vx.ISSUE_COMMAND_RESPONSE, vx.DEBUGGER_FILE_DATA,
                                       vx.DEBUG_BEGIN_BREAK, vx.ENTER_INPUT_MODE] and
          events[1].text == b"step\r\n",
          "a step into clause 2 writes, then breaks: %r" % shape(events))
    # A line step from a stop at a line start runs that line, not stopping where it stood.
    command(client, "GO END")
    command(client, "BREAK 40")
    command(client, "RUN")
    events = events_of(client, "DEBUG STEP OVER LINE")
    check([e.kind for e in events] == [vx.ISSUE_COMMAND_RESPONSE, vx.DEBUGGER_FILE_DATA,
                                       vx.DEBUG_BEGIN_BREAK, vx.ENTER_INPUT_MODE] and
          len(events[1].text) == 5002,
          "a line step runs the line it stood at: %r" % shape(events))
    command(client, "BREAK OFF")
    status, error = command(client, "GO")
    check((status, error) == (READY, 0), "the run ended after the steps (%d %d)" % (status, error))


def client_keeps_a_partial_message():
    """The client's wait for a message that runs out while the message is half read keeps
    what came: the next wait returns the message whole, and the one after it the next."""
    system_end, debugger_end = socket.socketpair()
    client = vx.DebugClient.__new__(vx.DebugClient)
    client.sock, client.pending, client.received = debugger_end, [], b""
    data = struct.pack(">i", 3) + b"d" * 6000
    message = vx.encode(vx.DEBUGGER_FILE_DATA, data) + vx.encode(vx.DEBUG_BEGIN_BREAK)
    system_end.sendall(message[:3000])
    try:
        client.next_event(0.2)
        check(False, "a half message is not an event")
    except TimeoutError:
        pass
    system_end.sendall(message[3000:])
    event = client.next_event(2)
    check(event.kind == vx.DEBUGGER_FILE_DATA and event.values == (3,) and
          event.text == data[4:], "the message whole after a wait ran out")
    check(client.has_event() and client.next_event(0.1).kind == vx.DEBUG_BEGIN_BREAK,
          "the message behind it")
    system_end.close()
    debugger_end.close()


def main():
    client_keeps_a_partial_message()
    work = tempfile.mkdtemp(prefix="vxdebug")
    system = System(work)
    port = free_port()
    client = system.listen(port)
    status, _ = ready(client)
    check(status == READY, "ready after attaching (status %d)" % status)

    # A program typed by the debugger; a line with a syntax error reports its position.
    for line in ['10 OPEN #5: "NAME=DEBUG:3,RECL=5000", DISPLAY, OUTPUT',
                 '20 OPEN #6: "NAME=DEBUG:4", DISPLAY, OUTPUT',
                 '30 PRINT #5: "to three"',
                 '40 PRINT #6: "to four"',
                 '50 PRINT #5: RPT$("x", 1000); RPT$("x", 1000); RPT$("x", 1000)',
                 '60 LET A = 1',
                 '70 LET A = A + 1',
                 '80 END']:
        command(client, line)
    seen = []
    check(client.issue("90 PRINT (") == 0, "a bad line is still taken")
    ready(client, seen)
    indents = [e.values[0] for e in seen if e.kind == vx.SYNTAX_ERROR_INDENT]
    check(indents and indents[0] > 0, "SYNTAX_ERROR_INDENT reported: %r" % indents)
    check(client.issue("") == 0, "an empty command answers 0")

    # A break point at line 60: the break, then a step of one clause, then the rest.  The
    # output of the channels comes in order: channel 3, channel 4, then the long write whole.
    command(client, "BREAK 60")
    seen = []
    status, _ = command(client, "RUN", seen)
    breaks = [e.values for e in seen if e.kind == vx.DEBUG_LINE_BREAK]
    check(breaks == [(60, 1)], "line break at 60: %r" % breaks)
    check(status == 7, "stopped in step status (%d)" % status)
    data = [(e.values[0], e.text) for e in seen if e.kind == vx.DEBUGGER_FILE_DATA]
    check([c for c, _ in data] == [3, 4, 3], "channels in order: %r" % [c for c, _ in data])
    check(len(data) == 3 and data[0][1].startswith(b"to three") and
          data[1][1].startswith(b"to four") and data[2][1].count(b"x") == 3000,
          "channel data: %r" % [(c, t[:20], len(t)) for c, t in data])
    seen = []
    command(client, "DEBUG STEP OVER CLAUSE", seen)
    check(any(e.kind == vx.DEBUG_BEGIN_BREAK for e in seen), "a step ends with a begin break")
    # Inspecting: a statement typed at the break prints to #250, the debugger's own channel.
    seen = []
    command(client, "PRINT #250: A * 10", seen)
    data = [(e.values[0], e.text) for e in seen if e.kind == vx.DEBUGGER_FILE_DATA]
    check(data and data[0][0] == 250 and data[0][1].strip() == b"10",
          "the value after the step reaches the debugger: %r" % data)
    command(client, "BREAK OFF")
    for _ in range(5):  # a step may leave a break at the next line start
        status, _ = command(client, "GO")
        if status != 7:
            break
    check(status == READY, "the run ended (status %d)" % status)

    long_writes_and_break_order(client)

    # A loop that runs until the debugger forces a break; commands meanwhile are refused.
    command(client, "CLEAR")
    command(client, "10 GOTO 10")
    check(client.issue("RUN") == 0, "RUN taken")
    time.sleep(0.5)
    check(client.issue("LIST") == 430, "a command while the program runs is refused with 430")
    client.force_break()
    status, _ = ready(client)
    check(status == 2, "the forced break stops the loop (status %d)" % status)
    command(client, "GO END")

    # A second link while one is open: 420, shown as the error of the next input mode.
    check(client.issue("DEBUG CONNECT 127.0.0.1:1") == 0, "DEBUG CONNECT taken")
    _, error = ready(client)
    check(error == 420, "DEBUG CONNECT while linked reports 420 (got %d)" % error)

    # DISCONNECT: the system says goodbye; a new debugger attaches through DEBUG CONNECT.
    check(client.issue("DEBUG DISCONNECT") == 0, "DISCONNECT taken")
    try:
        while True:
            client.next_event(10)
    except vx.LinkClosed:
        pass
    client.sock.close()
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    system.type("DEBUG CONNECT 127.0.0.1:%d" % server.getsockname()[1])
    client = vx.DebugClient.accept(server)
    server.close()
    ready(client)
    command(client, "PRINT 6 * 7")

    # Bad messages: each closes the link; the process goes on and listens again.
    bad = [
        struct.pack(">II", 4, 2),                       # shorter than its header
        struct.pack(">II", 8 + 65536 + 1, 2),           # beyond 64 KiB
        struct.pack(">II", 8, 77),                      # an unknown type
        struct.pack(">II", 20, 2) + b"PRI",             # truncated, then the peer hangs up
    ]
    for message in bad:
        client.sock.sendall(message)
        if message.endswith(b"PRI"):
            client.sock.shutdown(socket.SHUT_WR)
        try:
            while True:
                client.next_event(10)
        except (vx.LinkClosed, TimeoutError):
            pass
        client.sock.close()
        check(system.alive(), "alive after a bad message %r" % message[:8])
        client = system.listen(port)
        ready(client)

    # A slow message: its header, a pause, then its payload, within the time allowed.
    text = b"PRINT 100 + 1"
    client.sock.sendall(struct.pack(">II", 8 + len(text), vx.ISSUE_COMMAND))
    time.sleep(1.0)
    client.sock.sendall(text)
    response = client.wait_for(vx.ISSUE_COMMAND_RESPONSE)
    check(response.values[0] == 0, "a slow command is taken")
    ready(client)

    client = slow_peer_is_dropped(system, client, port, work)
    other_users_are_refused(system, client, port, work)

    system.type("SYSTEM 3")
    code, out, err = system.finish()
    check(code == 3, "SYSTEM 3 ends the process with 3 (got %d; stderr %r)" % (code, err))
    if os.geteuid() == 0 and PEER_PYTHON:
        check("ERROR 424" in err, "DEBUG CONNECT to another user's debugger is 424: %r" % err)
    check("42" in out and "101" in out and ("25" in out or not PEER_PYTHON),
          "commands ran: %r" % out[-200:])
    if FAILURES:
        print("stdout %r\nstderr %r" % (out[-600:], err[-600:]))
        print("%d failures" % len(FAILURES))
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
