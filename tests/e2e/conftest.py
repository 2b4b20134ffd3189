"""Fixtures of the end-to-end suite. See harness.py for the pieces."""
from __future__ import annotations

import hashlib
import io
import json
import os
import re
import shutil
import tempfile
import zipfile
from pathlib import Path

import pytest

from harness import ARTIFACTS, BUILD, Display, Installer, Wine, file_version, refuse_unless_loopback
from servers import FaultServer, Nginx, publish

# The version server's port is compiled into the test build (scripts/test-ports.sh).
HTTP_PORT = int(os.environ.get("SF_HTTP_PORT", "18480"))
DEMO_SITE = BUILD / "demo" / "site"
DEMO_VERSION = "5.2.0.7"
# The next release is whatever version the build gave its program (a cached SF_DEMO_NEXT_VERSION may differ
# from the default).
NEXT_PROGRAM = BUILD / "demo" / "next" / "stormfinch.exe"
NEXT_VERSION = file_version(NEXT_PROGRAM)[0] if NEXT_PROGRAM.exists() else None


def pytest_configure(config):
    if not (BUILD / "Stormfinch.exe").exists():
        raise pytest.UsageError(f"{BUILD / 'Stormfinch.exe'} is missing: build the Windows tree first")
    try:
        refuse_unless_loopback(BUILD / "Stormfinch.exe")
    except ValueError as e:
        raise pytest.UsageError(str(e)) from None


@pytest.fixture(scope="session")
def display():
    d = Display()
    yield d
    d.stop()


@pytest.fixture(scope="session")
def wine(display):
    w = Wine(BUILD / "e2e-prefix", display)
    yield w
    w.stop()


@pytest.fixture
def installer(wine, request):
    """A clean machine for each test: no installation, no shortcuts, no run logs."""
    name = re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.name)
    inst = Installer(wine, ARTIFACTS / name)
    inst.clean()
    yield inst
    inst.stop_all()
    inst.keep_logs()


@pytest.fixture
def site(tmp_path):
    """A private copy of the published demo version, which a test may alter."""
    root = tmp_path / "site"
    shutil.copytree(DEMO_SITE, root)
    return root


def manifest(site_root):
    return json.loads((site_root / "version/stormfinch/alpha/to/stable/pt-br_x64").read_text())


def publish_other_content(site_root, entry: dict, content: bytes, name: str | None = None) -> None:
    """Serves a well-formed package of other content (or under another name) in place of the entry's, so
    that what is unpacked is not what the manifest names. The manifest's size stays honest, so the
    download is accepted."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_LZMA) as archive:
        archive.writestr(name or entry["file"].rsplit("/", 1)[-1], content)
    (site_root / "files" / entry["md5"]).write_bytes(buffer.getvalue())
    site_manifest = manifest(site_root)
    for e in site_manifest["files"]:
        if e["md5"] == entry["md5"]:
            e["size"] = len(buffer.getvalue())
    for name in ("pt-br", "pt-br_x64"):
        (site_root / "version/stormfinch/alpha/to/stable" / name).write_text(json.dumps(site_manifest))


def publish_next_version(site_root) -> dict:
    """Publishes the demo product's next release in place of the version the site serves: every file
    changed, and the program is the next build (another version resource). Returns its manifest."""
    with tempfile.TemporaryDirectory() as tmp:
        product = Path(tmp) / "product"
        shutil.copytree(BUILD / "demo" / "product", product)
        for path in (p for p in product.rglob("*") if p.is_file()):
            if path.name == "stormfinch.exe":
                shutil.copyfile(NEXT_PROGRAM, path)
            else:
                path.write_bytes(path.read_bytes() + b"\n" + NEXT_VERSION.encode() + b"\n")
        shutil.rmtree(site_root)
        return publish(product, NEXT_VERSION, site_root)


def md5(path) -> str:
    """A file's digest as the manifest writes it."""
    return hashlib.md5(path.read_bytes()).hexdigest().upper()


def assert_fetched_through(proxy_log: str, server, site_root) -> None:
    """The manifest and every package of the site were requested through the proxy whose log is given."""
    base = f"http://127.0.0.1:{server.port}"
    assert f"{base}/version/stormfinch/alpha/to/stable/pt-br_x64 " in proxy_log
    missing = [e["file"] for e in manifest(site_root)["files"] if f"{base}/files/{e['md5']} " not in proxy_log]
    assert not missing, f"fetched past the proxy: {missing}"


@pytest.fixture
def nginx(site, tmp_path):
    """nginx serving the demo version on the compiled-in address."""
    with Nginx(site, HTTP_PORT, tmp_path / "nginx") as server:
        yield server


@pytest.fixture
def faults(site, tmp_path):
    """The fault server serving the demo version on the compiled-in address."""
    with FaultServer(site, HTTP_PORT, tmp_path / "faults") as server:
        yield server
