"""scripts/release.sh as a release engineer runs it: two release builds of this commit, one in the usual
folder inside the sources and one elsewhere, each signed with a test certificate. What users download
must be small, signed, carry the version it was given, keep its debug information beside it behind a
link that resolves, and come out the same, byte for byte, from both builds.

The builds take a few minutes; they run once for the whole module."""
from __future__ import annotations

import re
import struct
import subprocess
import sys
import zlib
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
from harness import file_version  # noqa: E402
RELEASE = REPO / "scripts" / "release.sh"
TRIPLE = "x86_64-w64-mingw32"
VERSION = "1.42.3.4"  # not the default, so that every place it lands shows where it came from
SIZE_LIMIT = 3_000_000


class Release:
    def __init__(self, out: Path, output: str) -> None:
        self.out = out
        self.output = output
        self.exe = out / "Stormfinch.exe"
        self.unsigned = out / "unsigned" / "Stormfinch.exe"
        self.debug = out / "Stormfinch.debug"


def build(out: Path, tree: Path, key: Path, public_key: str) -> Release:
    proc = subprocess.run([str(RELEASE), VERSION, "--test-cert", "--manifest-keys", public_key, "--sign-key", str(key),
                           "--out", str(out), "--build-dir", str(tree)], capture_output=True, text=True, timeout=1800)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    return Release(out, proc.stdout)


@pytest.fixture(scope="module")
def public_key(tmp_path_factory) -> tuple[Path, str]:
    """A release key of the tests' own: its private file and public text."""
    key = tmp_path_factory.mktemp("key") / "release.pem"
    public = subprocess.run(["/usr/bin/python3", str(REPO / "tools" / "publish.py"), "keygen", str(key)],
                            capture_output=True, text=True, check=True).stdout.strip()
    return key, public


@pytest.fixture(scope="module")
def releases(tmp_path_factory, public_key) -> tuple[Release, Release]:
    inside = build(REPO / "build" / "release" / "out", REPO / "build" / "release" / "tree", *public_key)
    elsewhere = tmp_path_factory.mktemp("release")
    return inside, build(elsewhere / "out", elsewhere / "tree", *public_key)


def test_the_program_is_small_and_its_size_is_printed(releases):
    release = releases[0]
    m = re.search(r"^release: Stormfinch\.exe \S+: (\d+) bytes \(\d+\.\d\d MB\)$", release.output, re.M)
    assert m, release.output
    assert int(m.group(1)) == release.exe.stat().st_size
    assert int(m.group(1)) < SIZE_LIMIT


def test_the_signature_verifies_against_the_test_authority(releases):
    release = releases[0]
    ca = release.out / "test-cert" / "ca.pem"
    proc = subprocess.run(["osslsigncode", "verify", "-CAfile", str(ca), "-in", str(release.exe)],
                          capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0 and "Signature verification: ok" in proc.stdout, proc.stdout + proc.stderr
    # The unsigned program has nothing to verify.
    proc = subprocess.run(["osslsigncode", "verify", "-CAfile", str(ca), "-in", str(release.unsigned)],
                          capture_output=True, text=True, timeout=120)
    assert proc.returncode != 0


def test_two_builds_of_one_commit_are_the_same_before_signing(releases):
    inside, elsewhere = releases
    assert inside.unsigned.read_bytes() == elsewhere.unsigned.read_bytes()
    assert inside.debug.read_bytes() == elsewhere.debug.read_bytes()
    assert inside.exe.read_bytes() != inside.unsigned.read_bytes(), "the published program is the signed one"


def section(path: Path, name: str) -> bytes:
    """A section's bytes, from objdump's hex dump (objcopy cannot copy a PE section out on its own)."""
    dump = subprocess.run([f"{TRIPLE}-objdump", "-s", "-j", name, str(path)], capture_output=True, text=True,
                          check=True).stdout
    data = b""
    for line in dump.splitlines():
        m = re.match(r"^ [0-9a-f]+ ((?:[0-9a-f]{2,8} ){1,4})", line)
        if m:
            data += bytes.fromhex(m.group(1).replace(" ", ""))
    return data


def test_the_debug_link_names_the_file_beside_the_program_and_resolves(releases):
    release = releases[0]
    link = section(release.exe, ".gnu_debuglink")
    name, _, rest = link.partition(b"\0")
    assert name == b"Stormfinch.debug"
    crc = struct.unpack("<I", rest[-4:])[0]
    assert crc == zlib.crc32(release.debug.read_bytes())
    # The program keeps no symbols or line tables of its own ...
    assert not subprocess.run([f"{TRIPLE}-nm", str(release.exe)], capture_output=True, text=True).stdout.strip()
    # ... and an address in it reads as routine, file and line through the link, the way an error report's
    # stack frame "Stormfinch.exe+0x..." is read.
    symbols = subprocess.run([f"{TRIPLE}-nm", str(release.debug)], capture_output=True, text=True, check=True).stdout
    address = int(re.search(r"^([0-9a-f]+) T wWinMain$", symbols, re.M).group(1), 16)
    where = subprocess.run([f"{TRIPLE}-addr2line", "-f", "-C", "-e", str(release.exe), hex(address)],
                           capture_output=True, text=True, check=True).stdout.split("\n")
    assert where[0] == "wWinMain"
    # No build folder in it: the same text from any folder.
    assert re.fullmatch(r"\./src/startup/InstallerMain\.cpp:\d+", where[1]), where


def test_the_program_trusts_the_release_key_it_was_given(releases, public_key):
    assert public_key[1].encode() in releases[0].exe.read_bytes()
    assert "trusts 1 release key(s); version.txt signed" in releases[0].output


def test_the_version_is_stamped_once_everywhere_it_is_read(releases):
    release = releases[0]
    exe = release.exe.read_bytes()
    assert file_version(release.exe) == (VERSION, "1.0.0.0")
    for value in (VERSION, "v" + VERSION):
        assert value.encode("utf-16-le") + b"\0\0" in exe
    assert f'name="Ardentis.Stormfinch.Setup" version="{VERSION}"'.encode() in exe
    assert (release.out / "version.txt").read_text() == "1.42"  # what the self-update check compares
    assert (release.out / "version.txt.sig").stat().st_size > 0
    assert "PerMonitorV2" in exe.decode("latin-1")
    # Built for the maker's hosts, not for a test server.
    assert "127.0.0.1".encode("utf-16-le") not in exe
