"""The test servers themselves: nginx and the fault server serve a published tree as the installer
expects it, every fault kind really happens on the wire, tinyproxy asks for and accepts credentials,
and stopping leaves no process behind. Runs without Wine."""
from __future__ import annotations

import base64
import calendar
import hashlib
import io
import json
import os
import socket
import time
import urllib.request
import zipfile

import pytest

import servers

MANIFEST = "/version/stormfinch/alpha/to/stable/pt-br"


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    base = tmp_path_factory.mktemp("site")
    product = base / "product"
    (product / "bin" / "plugins").mkdir(parents=True)
    (product / "database" / "desktops").mkdir(parents=True)
    (product / "stormfinch.exe").write_bytes(b"MZ" + bytes(range(256)) * 64)
    (product / "bin" / "plugins" / "a.dll").write_bytes(b"plugin " * 5000)
    (product / "database" / "desktops" / "default.xml").write_text("<desktop/>")
    (product / "database" / "cotationgrid").mkdir()
    (product / "database" / "cotationgrid" / "default.xml").write_text("<desktop/>")  # shares a package
    out = base / "out"
    manifest = servers.publish(product, "5.2.0.7", out, changes=["first"])
    return product, out, manifest


def raw_get(port: int, path: str, timeout: float = 2.0, limit: int = 1 << 20):
    """One GET on a fresh connection: (head bytes, body bytes, what ended the read)."""
    data, ended = b"", "close"
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
        try:
            while len(data) < limit:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
            else:
                ended = "limit"
        except ConnectionResetError:
            ended = "reset"
        except socket.timeout:
            ended = "timeout"
    head, _, body = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), body, ended


def content_length(head: str) -> int | None:
    for line in head.split("\r\n")[1:]:
        name, _, value = line.partition(":")
        if name.lower() == "content-length":
            return int(value)
    return None


def test_publish_is_what_the_installer_reads(site):
    product, out, manifest = site
    on_disk = json.loads((out / MANIFEST.lstrip("/")).read_text())
    assert on_disk == manifest
    assert (out / (MANIFEST.lstrip("/") + "_x64")).read_bytes() == (out / MANIFEST.lstrip("/")).read_bytes()
    assert [manifest[k] for k in ("major", "minor", "release", "build")] == [5, 2, 0, 7]
    assert (manifest["version_type"], manifest["is_latest"], manifest["bugged"], manifest["changes"]) == \
        ("stable", True, False, ["first"])
    assert [f["file"] for f in manifest["files"]] == [
        "bin/plugins/a.dll", "database/cotationgrid/default.xml", "database/desktops/default.xml",
        "stormfinch.exe"]
    for entry in manifest["files"]:
        data = (product / entry["file"]).read_bytes()
        assert entry["md5"] == hashlib.md5(data).hexdigest().upper() and entry["install"] is True
        package = (out / "files" / entry["md5"]).read_bytes()
        assert entry["size"] == len(package)
        with zipfile.ZipFile(io.BytesIO(package)) as z:
            [info] = z.infolist()
            assert info.filename == entry["file"].rsplit("/", 1)[-1]
            assert info.compress_type == zipfile.ZIP_LZMA
            assert z.read(info) == data
    assert len(list((out / "files").iterdir())) == 3


def test_publish_is_deterministic_and_rejects_bad_input(site, tmp_path):
    product, out, manifest = site
    again = tmp_path / "again"
    # Compressing files in parallel changes nothing in what is published.
    assert servers.publish(product, "5.2.0.7", again, changes=["first"], jobs=2) == manifest
    for f in (out / "files").iterdir():
        assert (again / "files" / f.name).read_bytes() == f.read_bytes()
    for version in ("5.2.0", "5.2.0.x", "5.2.0.7.1", "5.2.0.-1", "1.2.3.4294967296"):
        with pytest.raises(servers._publish.PublishError, match="version"):
            servers.publish(product, version, tmp_path / "bad")
    with pytest.raises(servers._publish.PublishError, match="does not exist"):
        servers.publish(tmp_path / "missing", "1.0.0.0", tmp_path / "bad")
    clash = tmp_path / "clash"
    clash.mkdir()
    (clash / "a.ini").write_bytes(b"")
    (clash / "b.ini").write_bytes(b"")
    with pytest.raises(servers._publish.PublishError, match="same content under different names"):
        servers.publish(clash, "1.0.0.0", tmp_path / "bad")
    assert not (tmp_path / "bad").exists()


@pytest.mark.parametrize("files, message", [
    (["bin/A.dll", "bin/a.dll"], r"files\[1\] \(bin/a.dll\) names the same file as files\[0\] \(bin/A.dll\)"),
    (["BIN/x.dll", "bin/y.dll", "bin/X.dll"], r"files\[1\] \(bin/X.dll\) names the same file as files\[0\] \(BIN/x"),
    (["dados/Configuração.ini", "dados/CONFIGURAÇÃO.INI"], "names the same file"),
    (["bin/trailing."], r"files\[0\] \(bin/trailing.\) has a name ending in a dot"),
    (["con.txt"], "a device"),
    (["a\\b.dll"], "one of"),
    (["a|b.dll"], "one of"),
])
def test_publish_refuses_what_the_installer_refuses_before_writing(tmp_path, files, message):
    product = tmp_path / "product"
    for number, name in enumerate(files):
        (product / name).parent.mkdir(parents=True, exist_ok=True)
        (product / name).write_text(f"file {number}")
    out = tmp_path / "out"
    with pytest.raises(servers._publish.PublishError, match=message):
        servers.publish(product, "1.0.0.0", out)
    assert not out.exists()


# Entries no Linux folder can hold, checked as the manifest's entries directly.
@pytest.mark.parametrize("entry, message", [
    ({"file": "a.dll", "md5": "0CC175B9C0F1B6A831C399E26977266"}, r'files\[0\] \(a.dll\): "md5" is not 32 hexadecimal'),
    ({"file": "bin/" + "x" * 256, "md5": "0CC175B9C0F1B6A831C399E269772661"}, "longer than the 255 characters"),
])
def test_publish_checks_entries_it_cannot_meet_here(entry, message):
    with pytest.raises(servers._publish.PublishError, match=message):
        servers._publish.check_entries([entry])


@pytest.mark.parametrize("kind", ["nginx", "fault"])
def test_server_serves_the_tree_and_logs_it(site, tmp_path, kind):
    _, out, manifest = site
    server = servers.Nginx(out, 0, tmp_path / "nginx") if kind == "nginx" else servers.FaultServer(out, 0)
    with server:
        with urllib.request.urlopen(server.url + MANIFEST, timeout=5) as r:
            assert json.loads(r.read()) == manifest
        entry = manifest["files"][0]
        with urllib.request.urlopen(f"{server.url}/files/{entry['md5']}", timeout=5) as r:
            assert r.status == 200 and int(r.headers["Content-Length"]) == entry["size"]
            assert r.read() == (out / "files" / entry["md5"]).read_bytes()
        head, body, _ = raw_get(server.port, "/files/NOPE")
        assert head.startswith("HTTP/1.1 404 Not Found")
        log = server.access_log(expect=3)
        assert [(e["path"], e["status"]) for e in log] == [
            (MANIFEST, 200), (f"/files/{entry['md5']}", 200), ("/files/NOPE", 404)]
        assert log[1]["bytes"] == entry["size"]
        pid = server.proc.pid
    assert_gone(pid, server.port)


def assert_gone(pid: int, port: int) -> None:
    with pytest.raises(ProcessLookupError):
        os.kill(pid, 0)
    with pytest.raises(OSError):
        socket.create_connection(("127.0.0.1", port), timeout=1).close()


def test_each_fault_happens(site):
    _, out, manifest = site
    entry = max(manifest["files"], key=lambda e: e["size"])
    path, size = f"/files/{entry['md5']}", entry["size"]
    with servers.FaultServer(out) as fs:
        fs.set_fault(path, servers.status(503, "Try Later", "busy"), servers.status(503), servers.normal())
        heads = [raw_get(fs.port, path)[0].split("\r\n")[0] for _ in range(3)]
        assert heads == ["HTTP/1.1 503 Try Later", "HTTP/1.1 503 Service Unavailable", "HTTP/1.1 200 OK"]

        fs.set_fault(path, servers.wrong_length(size + 100))
        head, body, ended = raw_get(fs.port, path)
        assert (content_length(head), len(body), ended) == (size + 100, size, "close")

        fs.set_fault(path, servers.reset(100))
        head, body, ended = raw_get(fs.port, path)
        assert (content_length(head), len(body), ended) == (size, 100, "reset")

        fs.set_fault(path, servers.stall(before_headers=True))
        assert raw_get(fs.port, path, timeout=0.5) == ("", b"", "timeout")
        fs.set_fault(path, servers.stall())
        head, body, ended = raw_get(fs.port, path, timeout=0.5)
        assert (head.startswith("HTTP/1.1 200"), body, ended) == (True, b"", "timeout")

        fs.set_fault(path, servers.endless())
        head, body, ended = raw_get(fs.port, path, limit=5 << 20)
        assert (content_length(head), ended) == (None, "limit")

        fs.set_fault(path, servers.drop())
        assert raw_get(fs.port, path) == ("", b"", "close")

        fs.set_fault(path, servers.trickle(size // 4 + 1, 0.2))
        started = time.monotonic()
        head, body, ended = raw_get(fs.port, path)
        assert body == (out / path.lstrip("/")).read_bytes() and time.monotonic() - started >= 0.55

        fs.set_fault(path, servers.status(302, headers={"Location": MANIFEST}))
        head, _, _ = raw_get(fs.port, path)
        assert head.startswith("HTTP/1.1 302") and f"Location: {MANIFEST}" in head

        fs.set_fault(path)
        assert raw_get(fs.port, path)[1] == (out / path.lstrip("/")).read_bytes()
        with pytest.raises(ValueError, match="not a behaviour"):
            fs.set_fault(path, {"kind": "explode"})

        kinds = [(e["fault"], e["status"]) for e in fs.access_log()]
        assert kinds == [("status", 503), ("status", 503), ("normal", 200), ("wrong_length", 200),
                         ("reset", 200), ("stall", 0), ("stall", 200), ("endless", 200), ("drop", 0),
                         ("trickle", 200), ("status", 302), ("normal", 200)]
        # The stop must not wait for a client that never reads: a stall is still open here.
        fs.set_fault(path, servers.stall(before_headers=True))
        hanging = socket.create_connection(("127.0.0.1", fs.port))
        hanging.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
        time.sleep(0.2)
        pid, started = fs.proc.pid, time.monotonic()
    assert time.monotonic() - started < 5
    hanging.close()
    assert_gone(pid, fs.port)


def test_tinyproxy_asks_for_credentials(site, tmp_path):
    _, out, manifest = site
    with servers.Nginx(out, 0, tmp_path / "nginx") as web, \
            servers.Tinyproxy(0, tmp_path / "proxy", "sfuser", "sfpass") as proxy:
        target = web.url + MANIFEST

        def through_proxy(credentials: str | None):
            with socket.create_connection(("127.0.0.1", proxy.port), timeout=5) as s:
                auth = f"Proxy-Authorization: Basic {credentials}\r\n" if credentials else ""
                s.sendall(f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1\r\n{auth}Connection: close\r\n\r\n".encode())
                data = b""
                while chunk := s.recv(65536):
                    data += chunk
            head, _, body = data.partition(b"\r\n\r\n")
            return head.decode("latin-1"), body

        head, _ = through_proxy(None)
        assert " 407 " in head.split("\r\n")[0] and "Proxy-Authenticate: Basic" in head
        head, body = through_proxy(base64.b64encode(b"sfuser:sfpass").decode())
        assert " 200 " in head.split("\r\n")[0] and json.loads(body) == manifest
        assert [e["path"] for e in web.access_log(expect=1)] == [MANIFEST]
        pid = proxy.proc.pid
    assert_gone(pid, proxy.port)


def verify_signature(public_hex: str, data: bytes, sig: bytes) -> None:
    """Raises unless sig is r‖s of a P-256 signature of data under the key as SF_MANIFEST_KEYS takes it."""
    from cryptography.hazmat.primitives import hashes
    from cryptography.hazmat.primitives.asymmetric import ec, utils
    key = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), bytes.fromhex(public_hex))
    assert len(sig) == 64
    der = utils.encode_dss_signature(int.from_bytes(sig[:32], "big"), int.from_bytes(sig[32:], "big"))
    key.verify(der, data, ec.ECDSA(hashes.SHA256()))


def test_signed_publish_keygen_and_sign(site, tmp_path):
    product, _, unsigned = site
    key = tmp_path / "release.pem"
    public = servers._publish.keygen(key)
    assert len(public) == 130 and public.startswith("04") and oct(key.stat().st_mode & 0o777) == "0o600"
    with pytest.raises(servers._publish.PublishError, match="never overwritten"):
        servers._publish.keygen(key)

    out = tmp_path / "out"
    before = time.gmtime()
    manifest = servers.publish(product, "5.2.0.7", out, changes=["first"], sign_key=key, valid_days=3)
    stamp = str(manifest["serial"])
    assert len(stamp) == 14 and time.strftime("%Y%m%d", before) <= stamp[:8] <= time.strftime("%Y%m%d")
    expires = calendar.timegm(time.strptime(manifest["expires"], "%Y-%m-%dT%H:%M:%SZ"))
    assert abs(expires - calendar.timegm(before) - 3 * 86400) < 60
    for entry in manifest["files"]:
        data = (product / entry["file"]).read_bytes()
        assert entry["sha256"] == hashlib.sha256(data).hexdigest().upper()
    # Besides the new fields, the manifest is the unsigned one.
    stripped = {k: v for k, v in manifest.items() if k not in ("serial", "expires")}
    stripped["files"] = [{k: v for k, v in e.items() if k != "sha256"} for e in manifest["files"]]
    assert stripped == unsigned
    for name in ("pt-br", "pt-br_x64"):
        path = out / MANIFEST.lstrip("/").replace("pt-br", name)
        verify_signature(public, path.read_bytes(), path.with_name(name + ".sig").read_bytes())

    assert servers.publish(product, "5.2.0.7", out, sign_key=key, serial=7)["serial"] == 7
    # Published again unsigned, the tree keeps no signature of a manifest it no longer has.
    servers.publish(product, "5.2.0.7", out)
    assert not list(out.rglob("*.sig"))

    text = tmp_path / "version.txt"
    text.write_bytes(b"1.42")
    assert servers._publish.main(["sign", str(key), str(text)]) == 0
    verify_signature(public, b"1.42", (tmp_path / "version.txt.sig").read_bytes())


@pytest.mark.parametrize("options, message", [
    ({"serial": 0}, "serial 0 is not a whole number from 1"),
    ({"serial": 2**64}, "serial 18446744073709551616 is not"),
    ({"valid_days": 0}, "refused at once"),
    ({"key": "p384"}, "is not a P-256"),
    ({"key": "garbage"}, "no readable unencrypted PEM private key"),
    ({"key": None, "serial": 5}, "give --sign-key too"),
])
def test_signed_publish_refuses_before_writing(site, tmp_path, options, message):
    from cryptography.hazmat.primitives import serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    product = site[0]
    key = tmp_path / "key.pem"
    kind = options.pop("key", "p256")
    if kind == "garbage":
        key.write_text("not a key")
    elif kind:
        curve = ec.SECP384R1() if kind == "p384" else ec.SECP256R1()
        key.write_bytes(ec.generate_private_key(curve).private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8, serialization.NoEncryption()))
    out = tmp_path / "out"
    with pytest.raises(servers._publish.PublishError, match=message):
        servers.publish(product, "1.0.0.0", out, sign_key=key if kind else None, **options)
    assert not out.exists()
