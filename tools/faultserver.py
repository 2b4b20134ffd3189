#!/usr/bin/env python3
"""A threaded HTTP/1.1 server that serves a folder and misbehaves on request, for tests.

    python3 tools/faultserver.py --root DIR --port N [--host 127.0.0.1]

Prints "faultserver: listening on http://HOST:PORT" once it accepts connections (with --port 0 the
system picks the port). SIGTERM or SIGINT stop it cleanly.

Every path answers from DIR (GET and HEAD; POST answers 200 and echoes the request body) unless a
fault is set for it. A fault is a list of behaviours taken one per request; the last one stays in
force. So [503, 503, normal] answers 503 twice and then serves the file, and [404] answers 404 for good.

Behaviours (JSON objects, or the helper functions below):
  {"kind": "normal"}
  {"kind": "status", "status": 503, "reason": "Busy", "body": "text", "headers": {"Location": "/x"}}
      "body_base64" instead of "body" for bytes; the default body is empty.
  {"kind": "wrong_length", "length": N}   the real body under a Content-Length of N, then close
  {"kind": "reset", "after": N}           headers and N bytes of the body, then a TCP reset
  {"kind": "stall", "before_headers": false, "seconds": S}
      silence (after the headers, or before them) for S seconds, until the client goes away or the
      server stops; without "seconds" it lasts until one of the latter
  {"kind": "endless"}                     200 with a close-delimited body that never ends
  {"kind": "trickle", "chunk": N, "interval": S}   the file, N bytes every S seconds
  {"kind": "drop"}                        close the connection without an answer

Control (not recorded in the log):
  POST   /__control/fault   {"path": "/x", "behaviours": [ ... ]}   (an empty list clears the fault)
  POST   /__control/reset   clears every fault and the log
  GET    /__control/log     [{"method", "path", "status", "bytes", "fault", "request_bytes",
                              "request_headers", "done"}, ...]  in the order the requests came; it waits
                              up to 2 s for answers in progress ("done" false: still going, e.g. a stall)
  DELETE /__control/log     clears the log

Imported, FaultServer(root, port=0) offers the same through start(), stop(), set_fault(), reset(),
access_log() and clear_log().
"""
from __future__ import annotations

import argparse
import base64
import json
import mimetypes
import select
import signal
import socket
import struct
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

CONTROL = "/__control/"
CHUNK = 64 * 1024
# Bounds what one request body can make the server hold; the installer posts a few KB at most.
MAX_REQUEST_BODY = 16 * 1024 * 1024
IDLE_CONNECTION_SECONDS = 60
LOG_SETTLE_SECONDS = 2.0


# Behaviour helpers ----------------------------------------------------------------------------------
def normal() -> dict:
    return {"kind": "normal"}


def status(code: int, reason: str | None = None, body: bytes | str = b"", headers: dict | None = None) -> dict:
    b = {"kind": "status", "status": code, "headers": dict(headers or {})}
    if reason is not None:
        b["reason"] = reason
    if isinstance(body, str):
        b["body"] = body
    else:
        b["body_base64"] = base64.b64encode(body).decode("ascii")
    return b


def wrong_length(length: int) -> dict:
    return {"kind": "wrong_length", "length": length}


def reset(after: int) -> dict:
    return {"kind": "reset", "after": after}


def stall(before_headers: bool = False, seconds: float | None = None) -> dict:
    b = {"kind": "stall", "before_headers": before_headers}
    if seconds is not None:
        b["seconds"] = seconds
    return b


def endless() -> dict:
    return {"kind": "endless"}


def trickle(chunk: int, interval: float) -> dict:
    return {"kind": "trickle", "chunk": chunk, "interval": interval}


def drop() -> dict:
    return {"kind": "drop"}


KINDS = {"normal", "status", "wrong_length", "reset", "stall", "endless", "trickle", "drop"}


class FaultError(ValueError):
    pass


def check_behaviour(b) -> dict:
    """Rejects a malformed behaviour when it is set, not when a request meets it."""
    if not isinstance(b, dict) or b.get("kind") not in KINDS:
        raise FaultError(f"not a behaviour: {b!r}")
    kind = b["kind"]
    if kind == "status":
        code = b.get("status")
        if not isinstance(code, int) or not 100 <= code <= 999:
            raise FaultError(f"status needs a 3-digit 'status': {b!r}")
        if "body_base64" in b:
            base64.b64decode(b["body_base64"], validate=True)
        if not isinstance(b.get("headers", {}), dict):
            raise FaultError(f"'headers' must be an object: {b!r}")
    for key in {"wrong_length": ["length"], "reset": ["after"], "trickle": ["chunk"]}.get(kind, []):
        if not isinstance(b.get(key), int) or b[key] < 0 or (kind == "trickle" and b[key] == 0):
            raise FaultError(f"{kind} needs a non-negative integer {key!r}: {b!r}")
    return b


# The server -----------------------------------------------------------------------------------------
class _Server(ThreadingHTTPServer):
    daemon_threads = False   # server_close() joins the handler threads
    block_on_close = True
    allow_reuse_address = True

    def __init__(self, address, root: Path):
        self.root = root
        self.stopping = threading.Event()
        self.lock = threading.Lock()
        self.changed = threading.Condition(self.lock)
        self.faults: dict[str, list[dict]] = {}
        self.log: list[dict] = []
        self.connections: set[socket.socket] = set()
        super().__init__(address, _Handler)

    def next_behaviour(self, path: str) -> dict:
        with self.lock:
            seq = self.faults.get(path)
            if not seq:
                return normal()
            return seq.pop(0) if len(seq) > 1 else seq[0]

    def begin(self, entry: dict) -> dict:
        """Logs a request when it arrives, so that the log keeps the order of the requests."""
        entry["done"] = False
        with self.lock:
            self.log.append(entry)
        return entry

    def finish(self, entry: dict, **fields) -> None:
        with self.changed:
            entry.update(fields, done=True)
            self.changed.notify_all()

    def log_snapshot(self, wait: float = LOG_SETTLE_SECONDS) -> list[dict]:
        """The log once the answers in progress have finished, or as it is after `wait` seconds (a stall
        can last for ever)."""
        with self.changed:
            self.changed.wait_for(lambda: all(e["done"] for e in self.log), timeout=wait)
            return [dict(e) for e in self.log]

    def process_request_thread(self, request, client_address):
        with self.lock:
            self.connections.add(request)
        try:
            super().process_request_thread(request, client_address)
        finally:
            with self.lock:
                self.connections.discard(request)

    def wake_connections(self) -> None:
        """Unblocks handlers waiting on idle keep-alive connections so that they can end."""
        with self.lock:
            for conn in list(self.connections):
                try:
                    conn.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass


class _Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "faultserver"
    sys_version = ""
    timeout = IDLE_CONNECTION_SECONDS

    server: _Server

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    # Dispatch ---------------------------------------------------------------------------------
    def do_GET(self):
        self._dispatch(send_body=True)

    def do_HEAD(self):
        self._dispatch(send_body=False)

    def do_POST(self):
        self._dispatch(send_body=True)

    def do_PUT(self):
        self._dispatch(send_body=True)

    def do_DELETE(self):
        self._dispatch(send_body=True)

    def _dispatch(self, send_body: bool) -> None:
        self._sent = 0
        self._status = 0
        path = urllib.parse.urlsplit(self.path).path
        try:
            body = self._read_request_body()
        except FaultError as e:
            self._answer_plain(400, str(e))
            return
        if path.startswith(CONTROL):
            self._control(path, body)
            return
        behaviour = self.server.next_behaviour(path)
        entry = self.server.begin({
            "method": self.command, "path": path, "status": 0, "bytes": 0, "fault": behaviour["kind"],
            "request_bytes": len(body), "request_headers": {k: v for k, v in self.headers.items()},
        })
        try:
            self._behave(behaviour, path, body, send_body)
        except (ConnectionError, BrokenPipeError, socket.timeout, OSError):
            self.close_connection = True
        finally:
            self.server.finish(entry, status=self._status, bytes=self._sent)

    def _read_request_body(self) -> bytes:
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        if not length.isdigit() or int(length) > MAX_REQUEST_BODY:
            self.close_connection = True
            raise FaultError(f"unacceptable Content-Length {length!r}")
        return self.rfile.read(int(length))

    # Control ------------------------------------------------------------------------------------
    def _control(self, path: str, body: bytes) -> None:
        name = path[len(CONTROL):]
        try:
            if name == "fault" and self.command == "POST":
                request = json.loads(body or b"{}")
                target = request.get("path")
                if not isinstance(target, str) or not target.startswith("/"):
                    raise FaultError("'path' must be an absolute path")
                behaviours = request.get("behaviours", [request.get("behaviour")] if "behaviour" in request else [])
                if not isinstance(behaviours, list):
                    raise FaultError("'behaviours' must be a list")
                set_fault(self.server, target, [check_behaviour(b) for b in behaviours])
                self._answer_json({"ok": True})
            elif name == "reset" and self.command == "POST":
                with self.server.lock:
                    self.server.faults.clear()
                    self.server.log.clear()
                self._answer_json({"ok": True})
            elif name == "log" and self.command == "GET":
                self._answer_json(self.server.log_snapshot())
            elif name == "log" and self.command == "DELETE":
                with self.server.lock:
                    self.server.log.clear()
                self._answer_json({"ok": True})
            else:
                self._answer_plain(404, f"no control {self.command} {name}")
        except (ValueError, FaultError) as e:   # json.JSONDecodeError is a ValueError
            self._answer_plain(400, str(e))

    def _answer_json(self, value) -> None:
        self._answer(200, None, json.dumps(value).encode(), {"Content-Type": "application/json"})

    def _answer_plain(self, code: int, text: str) -> None:
        self._answer(code, None, text.encode(), {"Content-Type": "text/plain; charset=utf-8"})

    # Behaviours ----------------------------------------------------------------------------------
    def _behave(self, b: dict, path: str, request_body: bytes, send_body: bool) -> None:
        kind = b["kind"]
        if kind == "drop":
            self.close_connection = True
            return
        if kind == "stall" and b.get("before_headers"):
            self._stall(b.get("seconds"))
            self.close_connection = True
            return
        if kind == "endless":
            self._endless(send_body)
            return
        if kind == "status":
            body = base64.b64decode(b["body_base64"]) if "body_base64" in b else b.get("body", "").encode()
            self._answer(b["status"], b.get("reason"), body, b.get("headers", {}), send_body)
            return

        if self.command in ("POST", "PUT"):
            code, reason, body, ctype = 200, None, request_body, "application/octet-stream"
        else:
            code, reason, body, ctype = self._file(path)
        if kind == "normal" or code != 200:
            self._answer(code, reason, body, {"Content-Type": ctype}, send_body)
        elif kind == "wrong_length":
            self.close_connection = True
            self._head(200, None, {"Content-Type": ctype, "Content-Length": str(b["length"])})
            if send_body:
                self._write(body)
        elif kind == "reset":
            self._head(200, None, {"Content-Type": ctype, "Content-Length": str(len(body))})
            if send_body:
                self._write(body[: b["after"]])
            self._reset()
        elif kind == "stall":
            self.close_connection = True
            self._head(200, None, {"Content-Type": ctype, "Content-Length": str(len(body))})
            self._stall(b.get("seconds"))
        elif kind == "trickle":
            self._head(200, None, {"Content-Type": ctype, "Content-Length": str(len(body))})
            if send_body:
                for i in range(0, len(body), b["chunk"]):
                    if i and self.server.stopping.wait(float(b.get("interval", 0.1))):
                        self.close_connection = True
                        return
                    self._write(body[i:i + b["chunk"]])

    def _file(self, path: str):
        """The file for a request path, or a 404; never anything outside the root."""
        root = self.server.root
        rel = urllib.parse.unquote(path).lstrip("/")
        target = (root / rel).resolve()
        if (target != root and root not in target.parents) or not target.is_file():
            return 404, None, b"not found\n", "text/plain"
        ctype = mimetypes.guess_type(target.name)[0] or "application/octet-stream"
        return 200, None, target.read_bytes(), ctype

    def _head(self, code: int, reason: str | None, headers: dict) -> None:
        self.send_response(code, reason)
        for k, v in headers.items():
            self.send_header(k, v)
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        self._status = code

    def _answer(self, code, reason, body: bytes, headers: dict, send_body: bool = True) -> None:
        headers = dict(headers)
        headers.setdefault("Content-Length", str(len(body)))
        self._head(code, reason, headers)
        if send_body and self.command != "HEAD":
            self._write(body)

    def _write(self, data: bytes) -> None:
        view = memoryview(data)
        for i in range(0, len(view), CHUNK):
            part = view[i:i + CHUNK]
            self.wfile.write(part)
            self._sent += len(part)

    def _stall(self, seconds) -> None:
        """Silence until the time is up, the client goes away or the server stops."""
        deadline = None if seconds is None else time.monotonic() + float(seconds)
        while not self.server.stopping.is_set():
            wait = 0.1 if deadline is None else min(0.1, deadline - time.monotonic())
            if wait <= 0:
                return
            readable, _, _ = select.select([self.connection], [], [], wait)
            if readable:
                try:
                    if not self.connection.recv(1, socket.MSG_PEEK):
                        return
                except OSError:
                    return
                time.sleep(wait)  # data waiting, not a close; keep the silence

    def _endless(self, send_body: bool) -> None:
        self.close_connection = True
        self._head(200, None, {"Content-Type": "application/octet-stream"})
        if not send_body:
            return
        block = bytes(range(256)) * (CHUNK // 256)
        while not self.server.stopping.is_set():
            self._write(block)

    def _reset(self) -> None:
        """A TCP reset instead of an orderly close: linger with a zero time-out."""
        self.close_connection = True
        self.wfile.flush()
        # A reset throws away whatever the client has not read yet; the pause lets the headers and the
        # first bytes arrive, so the client sees an answer that breaks off rather than no answer.
        time.sleep(0.3)
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.rfile.close()       # the file object holds a reference that would keep the socket open
        self.connection.close()


def set_fault(server: _Server, path: str, behaviours: list[dict]) -> None:
    with server.lock:
        if behaviours:
            server.faults[path] = [dict(b) for b in behaviours]
        else:
            server.faults.pop(path, None)


class FaultServer:
    """The server in this process, on its own thread."""

    def __init__(self, root, port: int = 0, host: str = "127.0.0.1"):
        self.root = Path(root).resolve()
        self._address = (host, port)
        self._server: _Server | None = None
        self._thread: threading.Thread | None = None

    @property
    def port(self) -> int:
        assert self._server is not None, "not started"
        return self._server.server_address[1]

    @property
    def url(self) -> str:
        return f"http://{self._address[0]}:{self.port}"

    def start(self) -> "FaultServer":
        if not self.root.is_dir():
            raise FileNotFoundError(f"root folder {self.root} does not exist")
        self._server = _Server(self._address, self.root)
        self._thread = threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.1},
                                        name="faultserver", daemon=True)
        self._thread.start()
        return self

    def stop(self) -> None:
        if self._server is None:
            return
        server, self._server = self._server, None
        server.stopping.set()
        server.shutdown()
        server.wake_connections()
        server.server_close()  # joins every handler thread
        self._thread.join()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def set_fault(self, path: str, *behaviours: dict) -> None:
        set_fault(self._server, path, [check_behaviour(b) for b in behaviours])

    def reset(self) -> None:
        with self._server.lock:
            self._server.faults.clear()
            self._server.log.clear()

    def access_log(self) -> list[dict]:
        return self._server.log_snapshot()

    def clear_log(self) -> None:
        with self._server.lock:
            self._server.log.clear()


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description="HTTP/1.1 test server with scripted faults.")
    parser.add_argument("--root", required=True, type=Path)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host", default="127.0.0.1")
    args = parser.parse_args(argv)
    server = FaultServer(args.root, args.port, args.host)
    try:
        server.start()
    except OSError as e:
        print(f"faultserver: {e}", file=sys.stderr)
        return 1
    done = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: done.set())
    print(f"faultserver: listening on {server.url}", flush=True)
    while not done.wait(0.2):   # a plain wait() would hold off the signal handler
        pass
    server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
