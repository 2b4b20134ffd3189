"""The real servers the tests talk to: nginx serving a published tree, the fault server, tinyproxy.

    publish(product_dir, version, out_dir)         the version-server tree of a product folder
    Nginx(root, port, log_dir)                     nginx in a process of its own, with its own config
    FaultServer(root, port)                        tools/faultserver.py in a process of its own
    Tinyproxy(port, log_dir, user, password)       an HTTP proxy, with Basic authentication when given

Each server class has start() / stop() (and works as a context manager); stop() ends every process
that start() began, also when the test failed half-way. Port 0 means "any free port"; the port in use
is then in .port after start(). Standard library only, so that build scripts can import it as well.
"""
from __future__ import annotations

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools"))

import faultserver  # noqa: E402  (tools/ is not a package)
import publish as _publish  # noqa: E402

START_TIMEOUT = 20.0
STOP_TIMEOUT = 10.0


def publish(product_dir, version: str, out_dir, **options) -> dict:
    """tools/publish.py as a function; returns the manifest."""
    return _publish.publish(product_dir, version, out_dir, **options)


def free_port() -> int:
    """A loopback port that was free a moment ago (for programs that cannot take port 0)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _wait_for_port(port: int, proc: subprocess.Popen, what: str, log: Path | None = None) -> None:
    deadline = time.monotonic() + START_TIMEOUT
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            detail = log.read_text(errors="replace") if log and log.exists() else ""
            raise RuntimeError(f"{what} exited with {proc.returncode} while starting\n{detail}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"{what} did not listen on port {port} within {START_TIMEOUT} s")


def _end(proc: subprocess.Popen | None, sig: int = signal.SIGTERM) -> None:
    """Ends a process started in a session of its own, with every child it made."""
    if proc is None or proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, sig)
    except ProcessLookupError:
        return
    try:
        proc.wait(STOP_TIMEOUT)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
    # Children left behind in the group (nginx's workers after a crashed master) go too.
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


class _Process:
    scheme = "http"

    def __init__(self) -> None:
        self.proc: subprocess.Popen | None = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self) -> None:
        proc, self.proc = self.proc, None
        _end(proc)

    def _spawn(self, argv: list[str], what: str, log: Path) -> None:
        """Starts a server in a session of its own and waits until it listens on self.port."""
        self.proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            _wait_for_port(self.port, self.proc, what, log)
        except BaseException:
            self.stop()
            raise

    @property
    def url(self) -> str:
        return f"{self.scheme}://127.0.0.1:{self.port}"


class Nginx(_Process):
    """nginx serving `root` on 127.0.0.1:`port`; config, pid, temp folders and logs in `log_dir`.
    With a certificate and its key (PEM files) it speaks HTTPS only.

    The access log has one JSON object per line: method, path (without the query), status, bytes (of
    the body sent), length (the Content-Length header sent, "" when none). With a rate (nginx's
    limit_rate, e.g. "64k") each answer is sent at most that fast."""

    def __init__(self, root, port: int, log_dir, certificate=None, key=None, rate: str | None = None) -> None:
        super().__init__()
        self.rate = rate
        self.root = Path(root).resolve()
        self.port = port or free_port()
        self.dir = Path(log_dir).resolve()
        self.tls = (Path(certificate).resolve(), Path(key).resolve()) if certificate else None
        if self.tls:
            self.scheme = "https"
        self.conf = self.dir / "nginx.conf"
        self.access_path = self.dir / "access.log"
        self.error_path = self.dir / "error.log"

    def write_config(self) -> None:
        self.dir.mkdir(parents=True, exist_ok=True)
        temp = self.dir / "temp"
        for sub in ("body", "proxy", "fastcgi", "uwsgi", "scgi"):
            (temp / sub).mkdir(parents=True, exist_ok=True)
        # As root, nginx would hand its workers to "nobody", who cannot read a test's private folders.
        user = "user root root;\n" if os.geteuid() == 0 else ""
        listen = f"listen 127.0.0.1:{self.port};"
        if self.tls:
            listen = (f"listen 127.0.0.1:{self.port} ssl;\n    ssl_certificate {self.tls[0]};\n"
                      f"    ssl_certificate_key {self.tls[1]};")
        self.conf.write_text(f"""{user}worker_processes 1;
error_log {self.error_path} info;
pid {self.dir / 'nginx.pid'};
events {{ worker_connections 256; }}
http {{
  log_format sf escape=json '{{"method":"$request_method","path":"$uri","status":$status,'
                            '"bytes":$body_bytes_sent,"length":"$sent_http_content_length"}}';
  access_log {self.access_path} sf;
  client_body_temp_path {temp / 'body'};
  proxy_temp_path {temp / 'proxy'};
  fastcgi_temp_path {temp / 'fastcgi'};
  uwsgi_temp_path {temp / 'uwsgi'};
  scgi_temp_path {temp / 'scgi'};
  default_type application/octet-stream;
  sendfile on;
  keepalive_timeout 30;
  server {{
    {listen}
    server_name localhost;
    root {self.root};
    location / {{ {f"limit_rate {self.rate};" if self.rate else ""} }}
  }}
}}
""")

    def start(self) -> "Nginx":
        if not self.root.is_dir():
            raise FileNotFoundError(f"root folder {self.root} does not exist")
        self.write_config()
        self._spawn(["nginx", "-c", str(self.conf), "-p", str(self.dir), "-e", str(self.error_path),
                     "-g", "daemon off;"], "nginx", self.error_path)
        return self

    def access_log(self, expect: int = 0, timeout: float = 2.0) -> list[dict]:
        """The entries so far. nginx writes an entry just after the answer has gone out, so a client can
        be quicker than the log: with `expect`, waits up to `timeout` seconds for that many entries."""
        deadline = time.monotonic() + timeout
        while True:
            text = self.access_path.read_text() if self.access_path.exists() else ""
            entries = [json.loads(line) for line in text.splitlines() if line.strip()]
            if len(entries) >= expect or time.monotonic() >= deadline:
                return entries
            time.sleep(0.02)


class FaultServer(_Process):
    """tools/faultserver.py on 127.0.0.1:`port`, driven over its control path."""

    def __init__(self, root, port: int = 0, log_dir=None) -> None:
        super().__init__()
        self.root = Path(root).resolve()
        self.port = port
        self.log_dir = Path(log_dir).resolve() if log_dir else None

    def start(self) -> "FaultServer":
        stderr = subprocess.DEVNULL
        if self.log_dir:
            self.log_dir.mkdir(parents=True, exist_ok=True)
            stderr = open(self.log_dir / "faultserver.err", "wb")
        try:
            self.proc = subprocess.Popen(
                [sys.executable, str(REPO / "tools" / "faultserver.py"), "--root", str(self.root),
                 "--port", str(self.port)],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=stderr, text=True,
                start_new_session=True)
        finally:
            if stderr is not subprocess.DEVNULL:
                stderr.close()
        line = self.proc.stdout.readline()   # the server prints its address once it listens
        if "listening on" not in line:
            self.stop()
            raise RuntimeError(f"faultserver did not start: {line!r}")
        self.port = int(line.rsplit(":", 1)[1])
        return self

    def stop(self) -> None:
        proc = self.proc
        super().stop()
        if proc and proc.stdout:
            proc.stdout.close()

    def _control(self, method: str, name: str, body=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(f"{self.url}/__control/{name}", data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=10) as resp:
                return json.loads(resp.read() or b"null")
        except urllib.error.HTTPError as e:
            raise ValueError(e.read().decode(errors="replace")) from None

    def set_fault(self, path: str, *behaviours: dict) -> None:
        """Behaviours are taken one per request; the last stays in force. None given: no fault."""
        self._control("POST", "fault", {"path": path, "behaviours": list(behaviours)})

    def reset(self) -> None:
        self._control("POST", "reset")

    def access_log(self, expect: int = 0, timeout: float = 2.0) -> list[dict]:
        """The entries in the order the requests came, once the answers in progress have finished (the
        server waits up to 2 s for them). `expect` and `timeout` as for Nginx.access_log."""
        deadline = time.monotonic() + timeout
        while True:
            entries = self._control("GET", "log")
            if len(entries) >= expect or time.monotonic() >= deadline:
                return entries
            time.sleep(0.02)

    def clear_log(self) -> None:
        self._control("DELETE", "log")


# The behaviours, for set_fault.
normal = faultserver.normal
status = faultserver.status
wrong_length = faultserver.wrong_length
reset = faultserver.reset
stall = faultserver.stall
endless = faultserver.endless
trickle = faultserver.trickle
drop = faultserver.drop


class Tinyproxy(_Process):
    """tinyproxy on 127.0.0.1:`port`, asking for Basic authentication when a user is given."""

    def __init__(self, port: int, log_dir, user: str | None = None, password: str | None = None) -> None:
        super().__init__()
        self.port = port or free_port()
        self.dir = Path(log_dir).resolve()
        self.user, self.password = user, password
        self.conf = self.dir / "tinyproxy.conf"
        self.log_path = self.dir / "tinyproxy.log"

    def start(self) -> "Tinyproxy":
        self.dir.mkdir(parents=True, exist_ok=True)
        auth = f"BasicAuth {self.user} {self.password}\n" if self.user else ""
        self.conf.write_text(f"""Port {self.port}
Listen 127.0.0.1
Timeout 60
MaxClients 50
Allow 127.0.0.1
LogFile "{self.log_path}"
LogLevel Info
DisableViaHeader Yes
{auth}""")
        self._spawn([shutil.which("tinyproxy") or "/usr/bin/tinyproxy", "-d", "-c", str(self.conf)], "tinyproxy",
                    self.log_path)
        return self

    def log(self) -> str:
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""
