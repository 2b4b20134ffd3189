#!/usr/bin/env python3
"""The error endpoint for the Windows unit tests: a small HTTPS server that records what it receives.

    report_server.py --port N --cert PEM --key PEM --log FILE

Every request is appended to FILE as one JSON line (method, path, headers, and the body as UTF-8 text,
bytes that are not UTF-8 becoming U+FFFD) before it is answered, so a client that has its answer finds
the request in the file. The path chooses the answer: /status/NNN/... answers NNN, any other path 200.
The TLS handshake runs on the connection's own thread, so a client that never starts one holds up
nobody else. SIGTERM ends the server.
"""
from __future__ import annotations

import argparse
import json
import ssl
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

MAX_BODY = 16 * 1024 * 1024


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port: int, context: ssl.SSLContext, log: Path):
        self.context = context
        self.log = log
        self.log_lock = threading.Lock()
        super().__init__(("127.0.0.1", port), Handler)

    def finish_request(self, request, client_address):
        with self.context.wrap_socket(request, server_side=True, do_handshake_on_connect=False) as tls:
            tls.settimeout(30)
            tls.do_handshake()
            super().finish_request(tls, client_address)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server: Server

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_GET(self):
        self._answer()

    def do_POST(self):
        self._answer()

    def _answer(self) -> None:
        length = self.headers.get("Content-Length", "0")
        if not length.isdigit() or int(length) > MAX_BODY:
            self.send_error(400, "unacceptable Content-Length")
            return
        body = self.rfile.read(int(length))
        entry = {"method": self.command, "path": self.path, "headers": dict(self.headers.items()),
                 "body": body.decode("utf-8", "replace")}
        with self.server.log_lock, open(self.server.log, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry) + "\n")
        parts = self.path.split("/")
        status = int(parts[2]) if len(parts) > 2 and parts[1] == "status" and parts[2].isdigit() else 200
        answer = b"recorded\n"
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)


def main() -> int:
    parser = argparse.ArgumentParser(description="HTTPS server that records the requests it receives.")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", type=Path, required=True)
    parser.add_argument("--key", type=Path, required=True)
    parser.add_argument("--log", type=Path, required=True)
    args = parser.parse_args()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    args.log.touch()
    Server(args.port, context, args.log).serve_forever()
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
