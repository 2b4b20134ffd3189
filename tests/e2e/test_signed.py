"""Signed versions from end to end: the program built with the two test keys (build/win/signed, made by
scripts/build.sh) against the demo product published signed and served by nginx. A signed version
installs and updates as an unsigned one does; a forged one is refused with nothing asked for beyond the
manifest and its signature, and nothing of the installation or the registry changed."""
from __future__ import annotations

import hashlib
import io
import json
import re
import shutil
import zipfile
from pathlib import Path

import pytest

import servers
from conftest import HTTP_PORT, md5
from harness import BUILD, Installer
from test_wizard import INSTALL_BUTTON, WIZARD_CLASS, WIZARD_TITLE, Wizard, install_until_the_retry_page

SIGNED_EXE = BUILD / "signed" / "Stormfinch.exe"
TEST_KEYS = BUILD / "test-keys"
KEY_1, KEY_2 = TEST_KEYS / "release-1.pem", TEST_KEYS / "release-2.pem"
PRODUCT = BUILD / "demo" / "product"
MANIFEST = "version/stormfinch/alpha/to/stable/pt-br_x64"
VERSION_TEXT = "produtos/bin/newquillon/version.txt"
SERIAL = 100
COMPANY_KEY = "HKCU\\Software\\Ardentis"
SETUP_FAILED = "TInstallerThread.WMSetupDownloads: Error getting quillon version info: "


@pytest.fixture
def signed(installer):
    """The installer that trusts the test keys, on the clean machine of the `installer` fixture."""
    if not SIGNED_EXE.exists():
        pytest.fail(f"{SIGNED_EXE} is missing: build with scripts/build.sh, which makes the test keys")
    runner = Installer(installer.wine, installer.artifacts, exe=SIGNED_EXE)
    yield runner
    runner.stop_all()


@pytest.fixture
def signed_site(tmp_path):
    """The demo product published signed with the first test key, serial SERIAL."""
    root = tmp_path / "site"
    servers.publish(PRODUCT, "5.2.0.7", root, changes=["Versão assinada"], sign_key=KEY_1, serial=SERIAL)
    return root


@pytest.fixture
def web(signed_site, tmp_path):
    with servers.Nginx(signed_site, HTTP_PORT, tmp_path / "nginx") as server:
        yield server


def published(site: Path) -> dict:
    return json.loads((site / MANIFEST).read_bytes())


def write_manifest(site: Path, body: bytes, signature: bytes | None) -> None:
    """Both manifests of the site with the given bytes, and their signatures (none: removed)."""
    for name in ("pt-br", "pt-br_x64"):
        path = (site / MANIFEST).with_name(name)
        path.write_bytes(body)
        sig = path.with_name(name + ".sig")
        if signature is None:
            sig.unlink(missing_ok=True)
        else:
            sig.write_bytes(signature)


def sign(key_file: Path, body: bytes) -> bytes:
    return servers._publish.signature(servers._publish.load_signing_key(key_file), body)


def write_signed(site: Path, manifest: dict, key_file: Path = KEY_1) -> None:
    body = (json.dumps(manifest, indent=2) + "\n").encode()
    write_manifest(site, body, sign(key_file, body))


def accepted_serial(installer) -> int | None:
    """ManifestSerial as the registry holds it; Wine's `reg query` does not print 64-bit numbers, its
    `reg export` does (hex(b): eight bytes, least significant first)."""
    exported = installer.artifacts / "company.reg"
    exported.unlink(missing_ok=True)
    installer.wine.wine("reg", "export", COMPANY_KEY, installer.wine.windows_path(exported), "/y", check=False)
    text = exported.read_bytes().decode("utf-16") if exported.exists() else ""
    value = re.search(r'^"ManifestSerial"=hex\(b\):([0-9a-f,]+)', text, re.M)
    return int.from_bytes(bytes.fromhex(value.group(1).replace(",", "")), "little") if value else None


def assert_installed_as_published(installer, site: Path, key: str = "Stormfinch") -> None:
    folder = installer.wine.paths["APPDATA"] / "Ardentis" / key
    for entry in published(site)["files"]:
        data = (folder / entry["file"]).read_bytes()
        assert hashlib.md5(data).hexdigest().upper() == entry["md5"], entry["file"]
        assert hashlib.sha256(data).hexdigest().upper() == entry["sha256"], entry["file"]


def requested(server, since: int) -> list[str]:
    return [e["path"].lstrip("/") for e in server.access_log()[since:]]


def installation_files(installer) -> list[tuple[str, int, int, str]]:
    """Every file and folder below the company folder with its size, time and (a file's) digest: an
    update touches nothing of the installation, its database included, before its manifest is trusted."""
    root = installer.wine.paths["APPDATA"] / "Ardentis"
    return [(str(p.relative_to(root)), p.stat().st_size, p.stat().st_mtime_ns, md5(p) if p.is_file() else "")
            for p in sorted(root.rglob("*"))]


def test_a_signed_version_installs_and_updates_as_an_unsigned_one(signed, web, signed_site, tmp_path):
    result = signed.run("/install")
    assert result.exit_code == 0, result.log
    assert_installed_as_published(signed, signed_site)
    assert f"Signature=Valid Key=1 Serial={SERIAL} Expires={published(signed_site)['expires']}" in result.log
    assert accepted_serial(signed) == SERIAL
    paths = requested(web, 0)
    assert paths[:2] == [MANIFEST, MANIFEST + ".sig"]
    assert sorted(paths[2:]) == sorted(f"files/{e['md5']}" for e in published(signed_site)["files"])

    # The next version changes one plugin and is signed with the second key, which the program trusts
    # too: the key can change before the first one is retired.
    product = tmp_path / "product-2"
    shutil.copytree(PRODUCT, product)
    plugin = product / "bin" / "plugins" / "indicators" / "macd.dll"
    plugin.write_bytes(plugin.read_bytes() + b"version 5.2.0.8")
    servers.publish(product, "5.2.0.8", signed_site, sign_key=KEY_2, serial=SERIAL + 1)
    before = len(web.access_log())
    result = signed.run("/update")
    assert result.exit_code == 0, result.log
    assert_installed_as_published(signed, signed_site)
    assert f"Signature=Valid Key=2 Serial={SERIAL + 1}" in result.log
    assert accepted_serial(signed) == SERIAL + 1
    changed = next(e for e in published(signed_site)["files"] if e["file"].endswith("macd.dll"))
    assert requested(web, before) == [MANIFEST, MANIFEST + ".sig", f"files/{changed['md5']}"]


def flip_a_byte(site: Path) -> str:
    body = bytearray((site / MANIFEST).read_bytes())
    at = body.index(b'"size": ') + len(b'"size": ')
    body[at] ^= 0x01  # a digit stays a digit: only the signature can tell
    write_manifest(site, bytes(body), (site / (MANIFEST + ".sig")).read_bytes())
    return "Signature=Invalid"


def drop_the_signature(site: Path) -> str:
    write_manifest(site, (site / MANIFEST).read_bytes(), None)
    return "Signature=Missing StatusCode=404 ResponseText=Not Found"


def sign_with_another_key(site: Path) -> str:
    other = site.parent / "other.pem"
    if not other.exists():
        servers._publish.keygen(other)
    write_signed(site, published(site), other)
    return "Signature=Invalid"


def expire(site: Path) -> str:
    write_signed(site, published(site) | {"expires": "2001-01-01T00:00:00Z"})
    return "Expired=2001-01-01T00:00:00Z Now="


def roll_back(site: Path) -> str:
    write_signed(site, published(site) | {"serial": SERIAL - 1})
    return f"Serial={SERIAL - 1} Accepted={SERIAL}"


def test_a_forged_version_is_refused_and_changes_nothing(signed, web, signed_site):
    assert signed.run("/install").exit_code == 0
    # Database content no version keeps: only a swap of a trusted version may take it away.
    history = signed.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch" / "database" / "history" / "old.dat"
    history.parent.mkdir()
    history.write_bytes(b"old history")
    original = {p: p.read_bytes() for p in (signed_site / MANIFEST).parent.iterdir()}
    before_registry = signed.state()[:2]
    before_files = installation_files(signed)

    for forge in (flip_a_byte, drop_the_signature, sign_with_another_key, expire, roll_back):
        refusal = forge(signed_site)
        since = len(web.access_log())
        result = signed.run("/update", timeout=60)
        row = f"{forge.__name__}: {result.log}"
        assert result.exit_code == 4, row
        assert SETUP_FAILED + refusal in result.log, row
        assert requested(web, since) == [MANIFEST, MANIFEST + ".sig"], row
        assert signed.state()[:2] == before_registry, row
        assert installation_files(signed) == before_files, row
        assert accepted_serial(signed) == SERIAL
        for path, data in original.items():
            path.write_bytes(data)
        for path in (signed_site / MANIFEST).parent.iterdir():
            if path not in original:
                path.unlink()


def test_a_file_whose_sha256_differs_while_its_md5_matches_is_a_damaged_package(signed, web, signed_site):
    # An MD5 collision stands in as the manifest naming the crafted file's MD5 beside the real file's
    # SHA-256: the package is consistent with the "md5" entry, as a colliding one would be.
    manifest = published(signed_site)
    entry = next(e for e in manifest["files"] if e["file"] == "stormfinch.exe")
    crafted = b"MZ" + b"not the product " * 4096
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_LZMA) as archive:
        archive.writestr("stormfinch.exe", crafted)
    entry["md5"] = hashlib.md5(crafted).hexdigest().upper()
    entry["size"] = len(buffer.getvalue())
    (signed_site / "files" / entry["md5"]).write_bytes(buffer.getvalue())
    write_signed(signed_site, manifest)
    before = signed.state()

    result = signed.run("/install")
    assert result.exit_code == -1, result.log
    assert f"files/{entry['md5']}" in requested(web, 0)
    assert "SHA256=False" in result.log
    assert signed.state() == before
    assert not list(signed.wine.paths["APPDATA"].rglob("stormfinch.exe"))
    assert accepted_serial(signed) is None


def test_interactively_a_refused_manifest_offers_the_retry_page(signed, web, signed_site):
    expire(signed_site)
    result = install_until_the_retry_page(signed)
    assert SETUP_FAILED + "Expired=2001-01-01T00:00:00Z" in result.log
    assert not [e for e in web.access_log() if e["path"].startswith("/files/")]
    assert not (signed.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch").exists()


@pytest.mark.parametrize("signature, shown", [
    ("first key", "TFrameUpdateInstaller"),
    ("none", "TFrameInstallDone"),
    ("another key", "TFrameInstallDone"),
])
def test_only_a_signed_version_text_offers_the_new_installer(signed, web, signed_site, signature, shown):
    text = signed_site / VERSION_TEXT
    text.parent.mkdir(parents=True, exist_ok=True)
    text.write_bytes(b"9.99")
    if signature != "none":
        key = KEY_1
        if signature == "another key":
            key = signed_site.parent / "other.pem"
            servers._publish.keygen(key)
        servers._publish.sign_files(key, [text])
    wizard = Wizard(signed)
    wizard.wait_page("TFrameInstall")
    log = wizard.wait_log("VerifyInstallerUpdate: Local=")
    if signature == "first key":
        assert "VerifyInstallerUpdate: Signature=Valid Key=1" in log and "Local=1.41 Server=9.99" in log
    else:
        expected = "Signature=Missing" if signature == "none" else "Signature=Invalid"
        assert f"VerifyInstallerUpdate: {expected} URL=" in log and "VerifyInstallerUpdate: Local= Server=\r\n" in log
    wizard.click(INSTALL_BUTTON)
    wizard.wait_page(shown)
    signed.close_window(WIZARD_CLASS, WIZARD_TITLE)
    assert wizard.finish().exit_code == 0
