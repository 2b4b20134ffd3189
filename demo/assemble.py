#!/usr/bin/env python3
"""Assembles the demo product folder and publishes it as a version-server tree.

    assemble.py --exe stormfinch.exe --uninstaller Desinstalar.exe --version 5.2.0.7 \\
                --product OUT/product --site OUT/site

The product folder gets the two programs, plugin DLL-like files below bin\\plugins\\ (some compressible,
some not), and the database folders the installer keeps during an update, each with a small file. All
generated content is fixed (seeded), so a rebuild publishes the same digests. Both output folders are
replaced as a whole: nothing stale survives a rebuild.
"""
from __future__ import annotations

import argparse
import random
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
import publish  # noqa: E402


def dll_like(seed: int, size: int, compressible: bool) -> bytes:
    """An "MZ" header and a body of text-like (compressible) or random (incompressible) bytes."""
    rng = random.Random(seed)
    if compressible:
        words = [b"quote", b"ticker", b"bid", b"ask", b"volume", b"last", b"open", b"close"]
        body = bytearray()
        while len(body) < size:
            body += rng.choice(words) + b";" + str(rng.randrange(100000)).encode() + b"\n"
    else:
        body = bytearray(rng.randbytes(size))
    return b"MZ" + bytes(body[: size - 2])


PLUGINS = {
    "bin/plugins/quotes.dll": (1, 300_000, True),
    "bin/plugins/charts.dll": (2, 120_000, False),
    "bin/plugins/indicators/rsi.dll": (3, 40_000, True),
    "bin/plugins/indicators/macd.dll": (4, 8_000, False),
}

DATABASE = {
    "database/cotationgrid/grid.xml": '<grid columns="ticker;last;bid;ask"/>\n',
    "database/desktops/default.dsk": "[desktop]\nwindows=quotes,chart\n",
    "database/assetidlists/favorites.lst": "PETR4\nVALE3\nITUB4\n",
}


def assemble(exe: Path, uninstaller: Path, product: Path) -> None:
    shutil.rmtree(product, ignore_errors=True)
    product.mkdir(parents=True)
    shutil.copyfile(exe, product / "stormfinch.exe")
    shutil.copyfile(uninstaller, product / "Desinstalar.exe")
    for rel, (seed, size, compressible) in PLUGINS.items():
        (product / rel).parent.mkdir(parents=True, exist_ok=True)
        (product / rel).write_bytes(dll_like(seed, size, compressible))
    for rel, text in DATABASE.items():
        (product / rel).parent.mkdir(parents=True, exist_ok=True)
        (product / rel).write_bytes(text.encode())


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", type=Path, required=True)
    parser.add_argument("--uninstaller", type=Path, required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--product", type=Path, required=True)
    parser.add_argument("--site", type=Path, required=True)
    args = parser.parse_args()
    try:
        assemble(args.exe, args.uninstaller, args.product)
        shutil.rmtree(args.site, ignore_errors=True)
        manifest = publish.publish(args.product, args.version, args.site,
                                   changes=["Versão de demonstração"])
    except (OSError, publish.PublishError) as e:
        print(f"assemble: {e}", file=sys.stderr)
        return 1
    print(f"assemble: {len(manifest['files'])} files of version {args.version} published into {args.site}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
