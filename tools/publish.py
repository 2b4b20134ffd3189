#!/usr/bin/env python3
"""Publishes one version of the product as the static tree the version server serves.

    python3 tools/publish.py PRODUCT_DIR VERSION OUT_DIR [--change TEXT]... [--video TEXT]

VERSION is a.b.c.d. The tree:

    OUT_DIR/version/stormfinch/alpha/to/stable/pt-br       the manifest (JSON)
    OUT_DIR/version/stormfinch/alpha/to/stable/pt-br_x64   the same manifest
    OUT_DIR/files/<MD5>                                    one package per distinct file content

A package is a ZIP archive with exactly one entry: the file under its own name, LZMA-compressed.
The installer refuses a manifest whose entries break its rules (a path it would not place, an "md5"
that is not 32 hexadecimal digits, two entries for one file when letter case is ignored); the same
inputs are refused here, before anything is written.
<MD5> is the upper-case hex digest of the unpacked file; the manifest's "size" is the size of the
package, which is what the installer downloads. Files of equal content share one package, so they
must also share their name. Identical input gives identical bytes (fixed entry
times and attributes, files in sorted order), so a republished version can be compared byte for byte.

Standard library only: the harness and the demo build both run it.
"""
from __future__ import annotations

import argparse
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


def file_md5(path: Path) -> str:
    digest = hashlib.md5()
    with open(path, "rb") as f:
        while block := f.read(1 << 20):
            digest.update(block)
    return digest.hexdigest().upper()


def package(name: str, data: bytes) -> bytes:
    info = zipfile.ZipInfo(name, date_time=ZIP_EPOCH)
    info.compress_type = zipfile.ZIP_LZMA
    info.create_system = 0
    info.external_attr = 0
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr(info, data)
    return buffer.getvalue()


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


def publish(product_dir, version: str, out_dir, changes=(), video: str = "") -> dict:
    """Writes the tree for one version and returns the manifest as a dict."""
    product_dir, out_dir = Path(product_dir), Path(out_dir)
    if not product_dir.is_dir():
        raise PublishError(f"product folder {product_dir} does not exist")
    major, minor, release, build = parse_version(version)
    product_resolved, out_resolved = product_dir.resolve(), out_dir.resolve()
    if out_resolved == product_resolved or product_resolved in out_resolved.parents:
        raise PublishError(f"output folder {out_dir} lies inside the product folder {product_dir}")

    # Every check comes before the first write, so a refused folder leaves the output untouched.
    digests: list[tuple[Path, str]] = []
    names_by_md5: dict[str, Path] = {}
    for path in product_files(product_dir):
        md5 = file_md5(path)
        # The installer names the unpacked file after the package's entry, and the server keeps one
        # package per digest: equal contents under different names would install one of them wrongly.
        first = names_by_md5.setdefault(md5, path)
        if first.name != path.name:
            raise PublishError(f"{first} and {path} have the same content under different names; "
                               f"one package per digest cannot serve both")
        digests.append((path, md5))
    check_entries([{"file": path.relative_to(product_dir).as_posix(), "md5": md5} for path, md5 in digests])

    entries = []
    for path, md5 in digests:
        zipped = package(path.name, path.read_bytes())
        target = out_dir / "files" / md5
        # Equal files share one package; an existing one is rewritten only when it differs.
        if not target.is_file() or target.read_bytes() != zipped:
            write_atomically(target, zipped)
        entries.append({"file": path.relative_to(product_dir).as_posix(), "md5": md5,
                        "size": len(zipped), "install": True})

    manifest = {
        "major": major, "minor": minor, "release": release, "build": build,
        "video": video,
        "version_type": "stable",
        "is_latest": True,
        "bugged": False,
        "changes": list(changes),
        "files": entries,
    }
    # The manifest goes last, so it never names a package that is not there yet.
    text = (json.dumps(manifest, indent=2, ensure_ascii=False) + "\n").encode("utf-8")
    for name in MANIFEST_NAMES:
        write_atomically(out_dir / MANIFEST_DIR / name, text)
    return manifest


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description="Publish a product folder as a version-server tree.")
    parser.add_argument("product_dir", type=Path)
    parser.add_argument("version", help="a.b.c.d")
    parser.add_argument("out_dir", type=Path)
    parser.add_argument("--change", action="append", default=[], help="a change note (repeatable)")
    parser.add_argument("--video", default="", help="the manifest's free 'video' text")
    args = parser.parse_args(argv)
    try:
        manifest = publish(args.product_dir, args.version, args.out_dir, args.change, args.video)
    except (PublishError, OSError) as e:
        print(f"publish: {e}", file=sys.stderr)
        return 1
    print(f"publish: {len(manifest['files'])} files, version {args.version}, into {args.out_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
