#!/usr/bin/env python3
"""Starts and stops the servers the Windows unit tests talk to (a CTest fixture).

    servers_fixture.py start DIR    fault server, nginx (HTTP and HTTPS), tinyproxy and the error endpoint
                                    (report_server.py, HTTPS) on free loopback ports
    servers_fixture.py stop DIR     ends every process that start began

Both servers serve DIR/www, where the tests write their own files (Wine reaches it through Z:). DIR/www/site
holds a small product published by tools/publish.py, DIR/www/signed the same product signed (serial 7) with
a key made here (DIR/release.pem, whose public key servers.txt gives), DIR/www/fullsite a version of one
file that DIR/full-appdata (a profile folder with a link to /dev/full) has no room for. start writes
DIR/servers.txt, one KEY=VALUE a line, for the tests (SF_TEST_SERVERS names it), and DIR/pids for stop.
Ports are taken free at start, so several build trees can run their tests at the same time.
"""
from __future__ import annotations

import json
import os
import random
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "e2e"))
import servers  # noqa: E402

PROXY_USER, PROXY_PASSWORD = "sfuser", "sf-pass"
SIGNED_SERIAL = 7
HERE = Path(__file__).resolve().parent


def windows_path(path: Path) -> str:
    return "Z:" + str(path.resolve()).replace("/", "\\")


def make_product(product: Path) -> None:
    """A product with a subfolder, a compressible and an incompressible file."""
    (product / "bin" / "plugins").mkdir(parents=True)
    (product / "stormfinch.exe").write_bytes(b"MZ" + random.Random(7).randbytes(20000))
    (product / "bin" / "plugins" / "quotes.dll").write_bytes(b"quote;" * 30000)
    (product / "readme.txt").write_text("Stormfinch test product\n")


def make_full_disk(state_dir: Path, www: Path) -> Path:
    """A version of one file, "full", and a profile folder (for APPDATA) whose Ardentis\\full-disk\\full is a
    link to the system's full device: a worker that unpacks that version there meets a full disk. The
    link lies inside the company folder, as the installer's path guard demands, and Wine does not take a
    link to a device for a link."""
    product = state_dir / "full-product"
    product.mkdir()
    (product / "full").write_bytes(b"a file for a disk with no room left\n" * 2000)
    servers.publish(product, "5.2.0.8", www / "fullsite", changes=["Disco cheio"])
    appdata = state_dir / "full-appdata"
    (appdata / "Ardentis" / "full-disk").mkdir(parents=True)
    if Path("/dev/full").exists():
        (appdata / "Ardentis" / "full-disk" / "full").symlink_to("/dev/full")
    return appdata


def make_certificates(folder: Path) -> None:
    """A test CA (ca.der, for the tests to trust) and a server certificate it signed for 127.0.0.1.
    Wine ignores IP-address entries, hence the DNS entry with the address."""
    folder.mkdir(parents=True)

    def openssl(*args: str) -> None:
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj", "/CN=Stormfinch Unit Test CA",
            "-keyout", "ca.key", "-out", "ca.pem",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", "server.key",
            "-out", "server.csr")
    (folder / "server.ext").write_text("subjectAltName=DNS:127.0.0.1,IP:127.0.0.1\n"
                                       "extendedKeyUsage=serverAuth\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "30", "-extfile", "server.ext", "-out", "server.pem")
    # Signed by nobody the tests trust.
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj", "/CN=127.0.0.1",
            "-keyout", "untrusted.key", "-out", "untrusted.pem", "-addext", "subjectAltName=DNS:127.0.0.1")


class ReportServer(servers._Process):
    """report_server.py: the error endpoint over HTTPS, recording each request in log_dir/requests.jsonl."""
    scheme = "https"

    def __init__(self, log_dir: Path, certificate: Path, key: Path) -> None:
        super().__init__()
        self.port = servers.free_port()
        self.dir = log_dir
        self.tls = (certificate, key)
        self.log_path = log_dir / "requests.jsonl"

    def start(self) -> "ReportServer":
        self.dir.mkdir(parents=True, exist_ok=True)
        self._spawn([sys.executable, str(HERE / "report_server.py"), "--port", str(self.port),
                     "--cert", str(self.tls[0]), "--key", str(self.tls[1]), "--log", str(self.log_path)],
                    "report server", None)
        return self


def stop(state_dir: Path) -> None:
    pids_file = state_dir / "pids"
    if not pids_file.exists():
        return
    pids = json.loads(pids_file.read_text())
    for pid in pids:
        try:
            os.killpg(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + servers.STOP_TIMEOUT
    for pid in pids:
        while time.monotonic() < deadline and _alive(pid):
            time.sleep(0.05)
        if _alive(pid):
            os.killpg(pid, signal.SIGKILL)
    pids_file.unlink()


def _alive(pid: int) -> bool:
    try:
        os.killpg(pid, 0)
        return True
    except ProcessLookupError:
        return False


def start(state_dir: Path) -> None:
    stop(state_dir)   # what an interrupted earlier run left behind
    shutil.rmtree(state_dir, ignore_errors=True)
    www = state_dir / "www"
    www.mkdir(parents=True)
    make_product(state_dir / "product")
    servers.publish(state_dir / "product", "5.2.0.7", www / "site", changes=["Primeira versão"])
    full_disk = make_full_disk(state_dir, www)
    signed_key = servers._publish.keygen(state_dir / "release.pem")
    servers.publish(state_dir / "product", "5.2.0.7", www / "signed", changes=["Primeira versão"],
                    sign_key=state_dir / "release.pem", serial=SIGNED_SERIAL)
    tls = state_dir / "tls"
    make_certificates(tls)

    started = []
    try:
        fault = servers.FaultServer(www, 0, state_dir / "fault").start()
        started.append(fault)
        nginx = servers.Nginx(www, 0, state_dir / "nginx").start()
        started.append(nginx)
        proxy = servers.Tinyproxy(0, state_dir / "proxy", PROXY_USER, PROXY_PASSWORD).start()
        started.append(proxy)
        https = servers.Nginx(www, 0, state_dir / "https", tls / "server.pem", tls / "server.key").start()
        started.append(https)
        untrusted = servers.Nginx(www, 0, state_dir / "untrusted", tls / "untrusted.pem", tls / "untrusted.key").start()
        started.append(untrusted)
        report = ReportServer(state_dir / "report", tls / "server.pem", tls / "server.key").start()
        started.append(report)
    except BaseException:
        for s in started:
            s.stop()
        raise
    (state_dir / "pids").write_text(json.dumps([s.proc.pid for s in started]))
    (state_dir / "servers.txt").write_text("\n".join([
        f"www={windows_path(www)}",
        f"fault_url={fault.url}",
        f"nginx_url={nginx.url}",
        f"nginx_access_log={windows_path(nginx.access_path)}",
        f"https_url={https.url}",
        f"untrusted_https_url={untrusted.url}",
        f"test_ca={windows_path(tls / 'ca.der')}",
        f"proxy_host=127.0.0.1",
        f"proxy_port={proxy.port}",
        f"proxy_user={PROXY_USER}",
        f"proxy_password={PROXY_PASSWORD}",
        f"proxy_log={windows_path(proxy.log_path)}",
        f"report_url={report.url}",
        f"report_log={windows_path(report.log_path)}",
        f"product={windows_path(state_dir / 'product')}",
        f"full_disk_appdata={windows_path(full_disk)}",
        f"signed_key={signed_key}",
    ]) + "\n")
    print(f"servers: fault {fault.url}, nginx {nginx.url}, {https.url}, proxy 127.0.0.1:{proxy.port}, "
          f"error endpoint {report.url}")


def main() -> int:
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        return 2
    state_dir = Path(sys.argv[2]).resolve()
    (start if sys.argv[1] == "start" else stop)(state_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
