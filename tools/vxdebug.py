#!/usr/bin/env python3
"""A small client of the system's debugger link (python3, standard library only).

The system opens the link with DEBUG LISTEN (it waits; this client connects) or DEBUG CONNECT
(this client waits with --listen; the system connects).  Once linked, the client types commands
into command mode, forces breaks into a running program and prints what the system tells it:
when command mode waits for a command, break points, syntax errors, and what programs write to
"DEBUG:" devices.  The wire format is in docs/debugger.md.

Interactive use:

    tools/vxdebug.py 127.0.0.1:8556          # connect to a system that ran DEBUG LISTEN
    tools/vxdebug.py --listen 8556           # wait for DEBUG CONNECT

Each line typed is sent as a command; ":break" forces a break, ":quit" hangs up.  With
--command (repeatable) the commands are sent in order, each after the system waits for input,
and the client ends after the last one.

As a library: DebugClient.connect(host, port) or DebugClient.accept(listening_socket), then
issue(text), force_break(), next_event(timeout), terminate().
"""

import argparse
import select
import socket
import struct
import sys
import time

# Message types from the debugger.
FORCE_BREAK = 1
ISSUE_COMMAND = 2
TERMINATE = 200
# Message types from the system.
FORCE_BREAK_RESPONSE = 101
ENTER_INPUT_MODE = 102
ISSUE_COMMAND_RESPONSE = 103
DEBUGGER_FILE_DATA = 104
DEBUG_VARIABLE_BREAK = 105
DEBUG_FUNCTION_BREAK = 106
DEBUG_LINE_BREAK = 107
DEBUG_BEGIN_BREAK = 108
SYNTAX_ERROR_INDENT = 109
TERMINATE_CONNECTION = 200

NAMES = {
    FORCE_BREAK_RESPONSE: "FORCE_BREAK_RESPONSE",
    ENTER_INPUT_MODE: "ENTER_INPUT_MODE",
    ISSUE_COMMAND_RESPONSE: "ISSUE_COMMAND_RESPONSE",
    DEBUGGER_FILE_DATA: "DEBUGGER_FILE_DATA",
    DEBUG_VARIABLE_BREAK: "DEBUG_VARIABLE_BREAK",
    DEBUG_FUNCTION_BREAK: "DEBUG_FUNCTION_BREAK",
    DEBUG_LINE_BREAK: "DEBUG_LINE_BREAK",
    DEBUG_BEGIN_BREAK: "DEBUG_BEGIN_BREAK",
    SYNTAX_ERROR_INDENT: "SYNTAX_ERROR_INDENT",
    TERMINATE_CONNECTION: "TERMINATE_CONNECTION",
}

# Run status numbers that ENTER_INPUT_MODE carries.
RUN_STATUS = {1: "RUN", 2: "ATTN", 3: "ERROR", 4: "PAUSE", 5: "CHAIN", 6: "LIST", 7: "STEP",
              8: "SYSERR", 9: "LOAD", 10: "SAVE", 11: "REPLACE", 12: "PROC", 13: "EXEC",
              14: "READY"}


class LinkClosed(Exception):
    """The system closed the link (or sent TERMINATE_CONNECTION)."""


class Event:
    """One message from the system, decoded."""

    def __init__(self, kind, payload):
        self.kind = kind
        self.payload = payload
        self.values = ()
        self.text = b""
        if kind in (ENTER_INPUT_MODE, DEBUG_LINE_BREAK):
            self.values = struct.unpack(">ii", payload[:8])
        elif kind in (ISSUE_COMMAND_RESPONSE, SYNTAX_ERROR_INDENT):
            self.values = struct.unpack(">i", payload[:4])
        elif kind == DEBUGGER_FILE_DATA:
            self.values = struct.unpack(">i", payload[:4])
            self.text = payload[4:]
        elif kind in (DEBUG_VARIABLE_BREAK, DEBUG_FUNCTION_BREAK):
            self.text = payload

    @property
    def name(self):
        return NAMES.get(self.kind, "TYPE %d" % self.kind)

    def __str__(self):
        if self.kind == ENTER_INPUT_MODE:
            status, error = self.values
            return "%s status=%s error=%d" % (self.name, RUN_STATUS.get(status, status), error)
        if self.kind == DEBUG_LINE_BREAK:
            return "%s line=%d clause=%d" % ((self.name,) + self.values)
        if self.kind in (ISSUE_COMMAND_RESPONSE, SYNTAX_ERROR_INDENT):
            return "%s %d" % (self.name, self.values[0])
        if self.kind == DEBUGGER_FILE_DATA:
            return "%s channel=%d %r" % (self.name, self.values[0], self.text)
        if self.text:
            return "%s %s" % (self.name, self.text.decode("latin-1"))
        return self.name


def encode(kind, payload=b""):
    """A whole message: its length (header included) and type, big-endian, then the payload."""
    return struct.pack(">II", 8 + len(payload), kind) + payload


class DebugClient:
    def __init__(self, sock):
        self.sock = sock
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = []  # events read while waiting for another one
        self.received = b""  # bytes of a message not yet whole

    @classmethod
    def connect(cls, host, port, attempts=100):
        """Connects to a system waiting in DEBUG LISTEN (retrying while it starts to listen)."""
        for _ in range(attempts):
            try:
                return cls(socket.create_connection((host, port), timeout=5))
            except OSError:
                time.sleep(0.1)
        raise ConnectionError("no system listens on %s:%d" % (host, port))

    @classmethod
    def accept(cls, listening, timeout=30):
        listening.settimeout(timeout)
        sock, _ = listening.accept()
        sock.settimeout(None)
        return cls(sock)

    def send(self, kind, payload=b""):
        self.sock.sendall(encode(kind, payload))

    def _message_size(self):
        """The size of the message at the front of what was received (0: not known yet)."""
        if len(self.received) < 8:
            return 0
        length = struct.unpack(">I", self.received[:4])[0]
        if length < 8:
            raise LinkClosed("a message of %d bytes" % length)
        return length

    def has_event(self):
        """Whether an event can be had without reading the socket."""
        return bool(self.pending) or 0 < self._message_size() <= len(self.received)

    def next_event(self, timeout=10.0):
        """The next message from the system; LinkClosed after TERMINATE_CONNECTION.  A message
        not whole within `timeout` raises TimeoutError and keeps the part that came, so that a
        later call goes on with it (a long message may arrive in many parts)."""
        if self.pending:
            return self.pending.pop(0)
        deadline = time.monotonic() + timeout
        while not self._message_size() or len(self.received) < self._message_size():
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.sock], [], [], left)[0]:
                raise TimeoutError("no message within %.1f s" % timeout)
            part = self.sock.recv(1 << 16)
            if not part:
                raise LinkClosed("the system closed the link")
            self.received += part
        length = self._message_size()
        kind = struct.unpack(">I", self.received[4:8])[0]
        event = Event(kind, self.received[8:length])
        self.received = self.received[length:]
        if kind == TERMINATE_CONNECTION:
            raise LinkClosed("TERMINATE_CONNECTION")
        return event

    def wait_for(self, kind, timeout=10.0, seen=None):
        """Reads events until one of `kind`; the others go to `seen` (a list) when given."""
        deadline = time.monotonic() + timeout
        while True:
            event = self.next_event(max(deadline - time.monotonic(), 0.01))
            if event.kind == kind:
                return event
            if seen is not None:
                seen.append(event)

    def issue(self, command):
        """Sends a command for command mode; returns the system's result (0: taken)."""
        self.send(ISSUE_COMMAND, command.encode("latin-1"))
        others = []
        result = self.wait_for(ISSUE_COMMAND_RESPONSE, seen=others).values[0]
        self.pending[:0] = others
        return result

    def force_break(self):
        self.send(FORCE_BREAK)
        others = []
        self.wait_for(FORCE_BREAK_RESPONSE, seen=others)
        self.pending[:0] = others

    def terminate(self):
        try:
            self.send(TERMINATE)
        finally:
            self.sock.close()


def parse_address(text):
    host, _, port = text.rpartition(":")
    return host or "127.0.0.1", int(port or 8556)


def interactive(client):
    print("linked; type commands, :break forces a break, :quit hangs up", flush=True)
    while True:
        readable = select.select([client.sock, sys.stdin], [], [])[0]
        if client.sock in readable:
            try:
                print(client.next_event(), flush=True)
                while client.has_event():
                    print(client.next_event(), flush=True)
            except LinkClosed as closed:
                print(closed, flush=True)
                return 0
        if sys.stdin in readable:
            line = sys.stdin.readline()
            if not line or line.strip() == ":quit":
                client.terminate()
                return 0
            if line.strip() == ":break":
                client.send(FORCE_BREAK)
            else:
                client.send(ISSUE_COMMAND, line.rstrip("\n").encode("latin-1"))


def scripted(client, commands, timeout):
    """Each command after the system waits for input; every event is printed."""
    for command in commands:
        while True:
            event = client.next_event(timeout)
            print(event, flush=True)
            if event.kind == ENTER_INPUT_MODE:
                break
        print("> " + command, flush=True)
        client.send(ISSUE_COMMAND, command.encode("latin-1"))
    try:
        while True:
            event = client.next_event(timeout)
            print(event, flush=True)
            if event.kind == ENTER_INPUT_MODE:
                break
    except (LinkClosed, TimeoutError) as end:
        print(end, flush=True)
    client.terminate()
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("address", nargs="?", default="127.0.0.1:8556",
                        help="host:port of a system in DEBUG LISTEN")
    parser.add_argument("--listen", type=int, metavar="PORT",
                        help="wait for a system's DEBUG CONNECT on this port instead")
    parser.add_argument("--command", action="append", default=[],
                        help="a command to send (repeatable); the client ends after the last")
    parser.add_argument("--timeout", type=float, default=30.0)
    args = parser.parse_args()
    if args.listen is not None:
        server = socket.socket()
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        server.bind(("127.0.0.1", args.listen))
        server.listen(1)
        client = DebugClient.accept(server, args.timeout)
        server.close()
    else:
        client = DebugClient.connect(*parse_address(args.address))
    if args.command:
        return scripted(client, args.command, args.timeout)
    return interactive(client)


if __name__ == "__main__":
    sys.exit(main())
