"""A language-server client for the tests: starts veltrix-lsp, frames JSON-RPC messages with
Content-Length headers, and reads its answers and notifications with a time limit, so that a
server that hangs or dies fails the test instead of stopping it."""

import json
import os
import select
import subprocess
import time


class ServerGone(Exception):
    pass


class Client:
    def __init__(self, exe, cwd=None, env=None):
        self.proc = subprocess.Popen([exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, cwd=cwd, env=env)
        self.buf = b""
        self.next_id = 0
        self.notifications = []

    # ---- sending ----
    def send_raw(self, data):
        try:
            self.proc.stdin.write(data)
            self.proc.stdin.flush()
        except BrokenPipeError as e:
            raise ServerGone("the server closed its input") from e

    def send(self, message):
        body = json.dumps(message).encode("utf-8")
        self.send_raw(b"Content-Length: %d\r\n\r\n" % len(body) + body)

    def notify(self, method, params=None):
        message = {"jsonrpc": "2.0", "method": method}
        if params is not None:
            message["params"] = params
        self.send(message)

    def request(self, method, params=None, timeout=10):
        self.next_id += 1
        rid = self.next_id
        message = {"jsonrpc": "2.0", "id": rid, "method": method}
        if params is not None:
            message["params"] = params
        self.send(message)
        return self.wait_response(rid, timeout)

    # ---- reading ----
    def _read_some(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            raise TimeoutError("no answer from the server in time")
        ready, _, _ = select.select([self.proc.stdout], [], [], left)
        if not ready:
            raise TimeoutError("no answer from the server in time")
        chunk = os.read(self.proc.stdout.fileno(), 65536)
        if not chunk:
            raise ServerGone("the server ended (status %s)" % self.proc.poll())
        self.buf += chunk

    def read_message(self, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            end = self.buf.find(b"\r\n\r\n")
            if end >= 0:
                headers = self.buf[:end].decode("ascii").split("\r\n")
                length = None
                for h in headers:
                    name, _, value = h.partition(":")
                    if name.strip().lower() == "content-length":
                        length = int(value.strip())
                assert length is not None, "a frame without Content-Length: %r" % headers
                if len(self.buf) >= end + 4 + length:
                    body = self.buf[end + 4:end + 4 + length]
                    self.buf = self.buf[end + 4 + length:]
                    return json.loads(body.decode("utf-8"))
            self._read_some(deadline)

    def read_stderr(self, timeout=5):
        """What the server wrote to standard error so far (waiting up to `timeout` for some)."""
        ready, _, _ = select.select([self.proc.stderr], [], [], timeout)
        return os.read(self.proc.stderr.fileno(), 65536) if ready else b""

    def wait_response(self, rid, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            m = self.read_message(max(0.001, deadline - time.monotonic()))
            if "method" in m and "id" not in m:
                self.notifications.append(m)
                continue
            if m.get("id") == rid:
                return m
            raise AssertionError("an answer to another request: %r" % m)

    def wait_notification(self, method, timeout=10):
        for i, m in enumerate(self.notifications):
            if m.get("method") == method:
                return self.notifications.pop(i)
        deadline = time.monotonic() + timeout
        while True:
            m = self.read_message(max(0.001, deadline - time.monotonic()))
            if m.get("method") == method and "id" not in m:
                return m
            self.notifications.append(m)

    # ---- the usual conversation ----
    def initialize(self, options=None, encodings=None):
        caps = {}
        if encodings:
            caps["general"] = {"positionEncodings": encodings}
        params = {"processId": os.getpid(), "rootUri": None, "capabilities": caps}
        if options is not None:
            params["initializationOptions"] = options
        answer = self.request("initialize", params)
        self.notify("initialized", {})
        return answer

    def open(self, uri, text, version=1):
        self.notify("textDocument/didOpen", {"textDocument": {
            "uri": uri, "languageId": "veltrix", "version": version, "text": text}})
        return self.wait_notification("textDocument/publishDiagnostics")["params"]

    def change(self, uri, version, changes):
        self.notify("textDocument/didChange", {
            "textDocument": {"uri": uri, "version": version}, "contentChanges": changes})
        return self.wait_notification("textDocument/publishDiagnostics")["params"]

    def at(self, method, uri, line, character, **extra):
        params = {"textDocument": {"uri": uri}, "position": {"line": line, "character": character}}
        params.update(extra)
        return self.request(method, params)

    def stop(self, timeout=10):
        """Shutdown and exit; returns the exit status."""
        if self.proc.poll() is None:
            try:
                self.request("shutdown")
                self.notify("exit")
            except (ServerGone, BrokenPipeError):
                pass
        try:
            return self.proc.wait(timeout)
        finally:
            self.close()

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for f in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            try:
                f.close()
            except OSError:
                pass
