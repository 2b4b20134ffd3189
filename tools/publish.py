#!/usr/bin/env python3
"""Publishes one version of the product as the static tree the version server serves.

    python3 tools/publish.py PRODUCT_DIR VERSION OUT_DIR [--change TEXT]... [--video TEXT]
                             [--sign-key KEY_FILE [--serial N] [--valid-days N]] [--jobs N]
    python3 tools/publish.py keygen KEY_FILE          a new release key; prints its public key
    python3 tools/publish.py sign KEY_FILE FILE...    FILE.sig for each file (the version text)

VERSION is a.b.c.d. The tree:

    OUT_DIR/version/stormfinch/alpha/to/stable/pt-br       the manifest (JSON)
    OUT_DIR/version/stormfinch/alpha/to/stable/pt-br_x64   the same manifest
    OUT_DIR/version/stormfinch/alpha/to/stable/pt-br.sig   with --sign-key: the manifest's signature
    OUT_DIR/version/stormfinch/alpha/to/stable/pt-br_x64.sig
    OUT_DIR/files/<MD5>                                    one package per distinct file content

Signed (--sign-key, a PEM file holding a P-256 private key): the manifest also carries "serial" (N, by
default the current UTC time as yyyymmddHHMMSS, so later publications get higher serials), "expires"
(now plus --valid-days days, 30 by default, as YYYY-MM-DDTHH:MM:SSZ) and a "sha256" of every unpacked
file; each manifest's .sig is exactly 64 bytes, r and s of an ECDSA P-256 signature over the SHA-256 of
the manifest's bytes, each 32 bytes big-endian. An installer built with the key's public half
(SF_MANIFEST_KEYS, as keygen prints it) refuses a manifest without a valid signature, an expired one, and
one of a lower serial than it installed before. The private key belongs on the publisher's machine only:
never in the repository, never on the version server.

A package is a ZIP archive with exactly one entry: the file under its own name, LZMA-compressed.
The installer refuses a manifest whose entries break its rules (a path it would not place, an "md5"
that is not 32 hexadecimal digits, two entries for one file when letter case is ignored); the same
inputs are refused here, before anything is written.
<MD5> is the upper-case hex digest of the unpacked file; the manifest's "size" is the size of the
package, which is what the installer downloads. Files of equal content share one package, so they
must also share their name. Identical input gives identical bytes (fixed entry
times and attributes, files in sorted order), so a republished version can be compared byte for byte;
--jobs N compresses N files at a time and changes nothing in the output.

Unsigned publishing needs the standard library only (the harness and the demo build both run it);
signing needs Python's cryptography package (Debian's python3-cryptography).
"""
from __future__ import annotations

import argparse
import concurrent.futures
import contextlib
import datetime
import hashlib
import io
import json
import os
import re
import sys
import tempfile
import zipfile
from pathlib import Path

EDITION = "stormfinch"
MANIFEST_DIR = Path("version", EDITION, "alpha", "to", "stable")
MANIFEST_NAMES = ("pt-br", "pt-br_x64")
ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)


class PublishError(Exception):
    pass


def parse_version(text: str) -> tuple[int, int, int, int]:
    parts = text.split(".")
    if len(parts) != 4 or not all(p.isdigit() and p.isascii() for p in parts):
        raise PublishError(f"version {text!r} is not of the form a.b.c.d with decimal numbers")
    numbers = tuple(int(p) for p in parts)
    # The installer reads each part as a signed 32-bit number.
    if any(n > 2**31 - 1 for n in numbers):
        raise PublishError(f"version {text!r} has a part larger than 2147483647")
    return numbers  # type: ignore[return-value]


def product_files(product_dir: Path) -> list[Path]:
    """Regular files below product_dir, sorted by their manifest path. Links are refused: following
    one could publish something from outside the product folder."""
    files = []
    for root, dirs, names in os.walk(product_dir):
        for d in dirs:
            if (Path(root) / d).is_symlink():
                raise PublishError(f"{Path(root) / d} is a symbolic link; publish real folders only")
        dirs.sort()
        for name in sorted(names):
            path = Path(root) / name
            if path.is_symlink() or not path.is_file():
                raise PublishError(f"{path} is not a regular file")
            files.append(path)
    return sorted(files, key=lambda p: p.relative_to(product_dir).as_posix())


# Names Windows opens as devices, with or without an extension; COM and LPT also take ¹ ² ³.
DEVICE_NAMES = {"con", "prn", "aux", "nul", "conin$", "conout$"} | {
    f"{port}{digit}" for port in ("com", "lpt") for digit in "123456789\u00b9\u00b2\u00b3"}
MD5 = re.compile(r"[0-9A-Fa-f]{32}")


def path_problem(path: str) -> str | None:
    """Why the installer would refuse a manifest's "file" (its rule for paths joined to its folder)."""
    for segment in path.split("/"):
        if not segment:
            return "has an empty folder name"
        if len(segment.encode("utf-16-le")) // 2 > 255:
            return "has a name longer than the 255 characters Windows takes"
        if any(ord(c) < 0x20 or c in '<>:"|?*\\' for c in segment):
            return 'has a control character or one of < > : " | ? * \\'
        if segment[-1] in ". ":
            return "has a name ending in a dot or a blank, which Windows would drop"
        if segment.split(".")[0].rstrip(" ").lower() in DEVICE_NAMES:
            return "has a name Windows takes for a device"
    return None


def same_file_key(path: str) -> str:
    """The path as Windows compares file names: letter case ignored (one letter for one letter)."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in path)


def check_entries(entries: list[dict]) -> None:
    """The installer's rules for the manifest's entries; a broken one names the entry and the rule."""
    first_of: dict[str, int] = {}
    for index, entry in enumerate(entries):
        where = f'files[{index}] ({entry["file"]})'
        problem = path_problem(entry["file"])
        if problem:
            raise PublishError(f"{where} {problem}")
        if not MD5.fullmatch(entry["md5"]):
            raise PublishError(f'{where}: "md5" is not 32 hexadecimal digits: {entry["md5"]}')
        first = first_of.setdefault(same_file_key(entry["file"]), index)
        if first != index:
            raise PublishError(f'{where} names the same file as files[{first}] ({entries[first]["file"]}) '
                               f"when letter case is ignored")


def file_digests(path: Path) -> tuple[str, str]:
    """MD5 and SHA-256 of the file, upper-case hex, from one read."""
    md5, sha256 = hashlib.md5(), hashlib.sha256()
    with open(path, "rb") as f:
        while block := f.read(1 << 20):
            md5.update(block)
            sha256.update(block)
    return md5.hexdigest().upper(), sha256.hexdigest().upper()


# --- Signing ------------------------------------------------------------------------------------------
SIGNATURE_SIZE = 64
MAX_SERIAL = 2**64 - 1


def _crypto():
    """Python's cryptography package, imported only by the commands that sign."""
    try:
        from cryptography.hazmat.primitives import hashes, serialization
        from cryptography.hazmat.primitives.asymmetric import ec, utils
    except ImportError as e:
        raise PublishError("signing needs Python's cryptography package (Debian: python3-cryptography)") from e
    return hashes, serialization, ec, utils


def load_signing_key(key_file):
    """The P-256 private key of a PEM file (unencrypted), or a PublishError that says what is wrong."""
    _, serialization, ec, _ = _crypto()
    try:
        key = serialization.load_pem_private_key(Path(key_file).read_bytes(), password=None)
    except (OSError, ValueError, TypeError) as e:
        raise PublishError(f"{key_file} holds no readable unencrypted PEM private key: {e}") from None
    if not isinstance(key, ec.EllipticCurvePrivateKey) or not isinstance(key.curve, ec.SECP256R1):
        raise PublishError(f"{key_file} is not a P-256 (secp256r1) private key")
    return key


def public_key_hex(key) -> str:
    """The public half as SF_MANIFEST_KEYS takes it: the uncompressed point 04, X, Y in hex."""
    _, serialization, _, _ = _crypto()
    return key.public_key().public_bytes(serialization.Encoding.X962,
                                         serialization.PublicFormat.UncompressedPoint).hex().upper()


def signature(key, data: bytes) -> bytes:
    """r and s of an ECDSA P-256 signature over the SHA-256 of data, 32 bytes each, big-endian."""
    hashes, _, ec, utils = _crypto()
    r, s = utils.decode_dss_signature(key.sign(data, ec.ECDSA(hashes.SHA256())))
    return r.to_bytes(32, "big") + s.to_bytes(32, "big")


def keygen(key_file) -> str:
    """Writes a new P-256 private key (PEM, readable by its owner only) and returns its public key.
    An existing file is never replaced: losing a release key locks out every installer that trusts it."""
    _, serialization, ec, _ = _crypto()
    key = ec.generate_private_key(ec.SECP256R1())
    pem = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                            serialization.NoEncryption())
    path = Path(key_file)
    try:
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    except FileExistsError:
        raise PublishError(f"{path} exists already; a release key is never overwritten") from None
    with os.fdopen(fd, "wb") as f:
        f.write(pem)
    return public_key_hex(key)


def sign_files(key_file, files) -> None:
    """Writes FILE.sig beside each file, signing its bytes as they are."""
    key = load_signing_key(key_file)
    for name in files:
        path = Path(name)
        write_atomically(path.with_name(path.name + ".sig"), signature(key, path.read_bytes()))


def default_serial(now: datetime.datetime) -> int:
    return int(now.strftime("%Y%m%d%H%M%S"))


def expiry_text(now: datetime.datetime, valid_days: int) -> str:
    return (now + datetime.timedelta(days=valid_days)).strftime("%Y-%m-%dT%H:%M:%SZ")


def package(name: str, data: bytes) -> bytes:
    info = zipfile.ZipInfo(name, date_time=ZIP_EPOCH)
    info.compress_type = zipfile.ZIP_LZMA
    info.create_system = 0
    info.external_attr = 0
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr(info, data)
    return buffer.getvalue()


def package_file(path: Path) -> bytes:
    return package(path.name, path.read_bytes())


def write_atomically(path: Path, data: bytes) -> None:
    """A server serving the tree while it is being published never sees half a file."""
    path.parent.mkdir(parents=True, exist_ok=True)
    fd, tmp = tempfile.mkstemp(dir=path.parent, prefix=".publish-")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(tmp, 0o644)
        os.replace(tmp, path)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise


def write_package(out_dir: Path, path: Path, product_dir: Path, md5: str, sha256: str, zipped: bytes, key,
                  entries: list[dict]) -> None:
    target = out_dir / "files" / md5
    # Equal files share one package; an existing one is rewritten only when it differs.
    if not target.is_file() or target.read_bytes() != zipped:
        write_atomically(target, zipped)
    entries.append({"file": path.relative_to(product_dir).as_posix(), "md5": md5,
                    "size": len(zipped), "install": True})
    if key:
        entries[-1]["sha256"] = sha256


def publish(product_dir, version: str, out_dir, changes=(), video: str = "", sign_key=None, serial=None,
            valid_days: int = 30, jobs: int = 1) -> dict:
    """Writes the tree for one version and returns the manifest as a dict. With sign_key (a PEM file) the
    manifest is signed, with the serial given (default: now as yyyymmddHHMMSS) and valid_days of life.
    jobs > 1 compresses that many files at a time in processes of their own (LZMA is slow in Python)."""
    product_dir, out_dir = Path(product_dir), Path(out_dir)
    if not product_dir.is_dir():
        raise PublishError(f"product folder {product_dir} does not exist")
    major, minor, release, build = parse_version(version)
    key = None
    if sign_key is not None:
        key = load_signing_key(sign_key)
        now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        serial = default_serial(now) if serial is None else serial
        if not 1 <= serial <= MAX_SERIAL:
            raise PublishError(f"serial {serial} is not a whole number from 1 to {MAX_SERIAL}")
        if valid_days < 1:
            raise PublishError(f"a manifest valid for {valid_days} days would be refused at once")
        expires = expiry_text(now, valid_days)
    elif serial is not None or valid_days != 30:
        raise PublishError("--serial and --valid-days belong to a signed manifest: give --sign-key too")
    product_resolved, out_resolved = product_dir.resolve(), out_dir.resolve()
    if out_resolved == product_resolved or product_resolved in out_resolved.parents:
        raise PublishError(f"output folder {out_dir} lies inside the product folder {product_dir}")

    # Every check comes before the first write, so a refused folder leaves the output untouched.
    digests: list[tuple[Path, str, str]] = []
    names_by_md5: dict[str, Path] = {}
    for path in product_files(product_dir):
        md5, sha256 = file_digests(path)
        # The installer names the unpacked file after the package's entry, and the server keeps one
        # package per digest: equal contents under different names would install one of them wrongly.
        first = names_by_md5.setdefault(md5, path)
        if first.name != path.name:
            raise PublishError(f"{first} and {path} have the same content under different names; "
                               f"one package per digest cannot serve both")
        digests.append((path, md5, sha256))
    check_entries([{"file": path.relative_to(product_dir).as_posix(), "md5": md5} for path, md5, _ in digests])

    entries = []
    with (concurrent.futures.ProcessPoolExecutor(jobs) if jobs > 1 else contextlib.nullcontext()) as pool:
        paths = [path for path, _, _ in digests]
        packages = pool.map(package_file, paths) if pool else map(package_file, paths)
        for (path, md5, sha256), zipped in zip(digests, packages):
            write_package(out_dir, path, product_dir, md5, sha256, zipped, key, entries)

    manifest = {
        "major": major, "minor": minor, "release": release, "build": build,
        "video": video,
        "version_type": "stable",
        "is_latest": True,
        "bugged": False,
        "changes": list(changes),
        "files": entries,
    }
    if key:
        manifest["serial"] = serial
        manifest["expires"] = expires
    # The manifest goes last, so it never names a package that is not there yet; its signature follows
    # it (an installer that meets the new manifest with the old signature refuses it and retries).
    text = (json.dumps(manifest, indent=2, ensure_ascii=False) + "\n").encode("utf-8")
    signed = signature(key, text) if key else None
    for name in MANIFEST_NAMES:
        write_atomically(out_dir / MANIFEST_DIR / name, text)
        sig = out_dir / MANIFEST_DIR / (name + ".sig")
        if signed:
            write_atomically(sig, signed)
        elif sig.exists():
            sig.unlink()  # a signature of an earlier manifest would only ever fail
    return manifest


def main(argv=None) -> int:
    argv = sys.argv[1:] if argv is None else list(argv)
    try:
        if argv[:1] == ["keygen"]:
            parser = argparse.ArgumentParser(prog="publish.py keygen",
                                             description="Write a new P-256 release key; print its public key.")
            parser.add_argument("key_file", type=Path)
            args = parser.parse_args(argv[1:])
            print(keygen(args.key_file))
            print(f"publish: private key written to {args.key_file}; keep it off the repository and the "
                  f"version server", file=sys.stderr)
            return 0
        if argv[:1] == ["sign"]:
            parser = argparse.ArgumentParser(prog="publish.py sign", description="Write FILE.sig for each file.")
            parser.add_argument("key_file", type=Path)
            parser.add_argument("files", type=Path, nargs="+")
            args = parser.parse_args(argv[1:])
            sign_files(args.key_file, args.files)
            return 0

        parser = argparse.ArgumentParser(description="Publish a product folder as a version-server tree.")
        parser.add_argument("product_dir", type=Path)
        parser.add_argument("version", help="a.b.c.d")
        parser.add_argument("out_dir", type=Path)
        parser.add_argument("--change", action="append", default=[], help="a change note (repeatable)")
        parser.add_argument("--video", default="", help="the manifest's free 'video' text")
        parser.add_argument("--sign-key", type=Path, help="PEM file of the P-256 private key that signs")
        parser.add_argument("--serial", type=int, help="the signed manifest's serial (default: now, yyyymmddHHMMSS)")
        parser.add_argument("--valid-days", type=int, default=30, help="days the signed manifest stays valid")
        parser.add_argument("--jobs", type=int, default=1, help="files compressed at a time")
        args = parser.parse_args(argv)
        manifest = publish(args.product_dir, args.version, args.out_dir, args.change, args.video,
                           sign_key=args.sign_key, serial=args.serial, valid_days=args.valid_days,
                           jobs=args.jobs)
    except (PublishError, OSError) as e:
        print(f"publish: {e}", file=sys.stderr)
        return 1
    signed = f", signed, serial {manifest['serial']}, expires {manifest['expires']}" if "serial" in manifest else ""
    print(f"publish: {len(manifest['files'])} files, version {args.version}{signed}, into {args.out_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
