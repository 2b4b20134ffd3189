#!/usr/bin/env python3
"""Benchmark of a whole installation: the real installer under Wine against a peer pipeline on the same
data, both fetching from nginx on loopback.

    /usr/bin/python3 bench/pipeline/bench_pipeline.py [--files 60] [--megabytes 250] [--runs 3] [--signed] [--update] [--exe PATH]

A product of about --files files and --megabytes unpacked is generated and published once (cached in
build/win/bench-pipeline). Then, per run:
  ours:  Stormfinch.exe /install, from start to exit, with the peak resident memory of its process;
  peer:  curl with 4 parallel transfers, then 7z extraction of every package, then md5sum of the files.
Prints the median times, their ratio and our peak memory against the bound 64 MiB + 8 x largest package.
With --signed the version is published signed with the first test key (build/win/test-keys), ours is
build/win/signed/Stormfinch.exe, which also checks the signature and every file's SHA-256, and the peer
runs sha256sum after md5sum.
Targets: ratio at most 1.05; peak memory within the bound.

With --update, a second version in which every file changed is published beside the first, and each run
installs the first (not timed) and then times Stormfinch.exe /update to the second, with its peak memory.
Compare the medians of two builds (--exe runs another build's program on the same data): an update may
not cost more than 10 % over the build it replaces.

A benchmark, not a test: it only reports.
"""
from __future__ import annotations

import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from harness import BUILD, Installer, wine_session  # noqa: E402
from servers import Nginx, publish  # noqa: E402

HTTP_PORT = int(os.environ.get("SF_HTTP_PORT", "18480"))
WORK = BUILD / "bench-pipeline"


def make_product(folder: Path, files: int, megabytes: int) -> None:
    """Files of mixed kinds and sizes: text-like (compressible), program-like and random (not)."""
    rng = random.Random(20261210)
    total = megabytes << 20
    weights = [rng.random() ** 3 + 0.01 for _ in range(files)]
    scale = total / sum(weights)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(500)]
    for i, weight in enumerate(weights):
        size = max(1024, int(weight * scale))
        kind = i % 3
        if kind == 0:
            chunk = b" ".join(rng.choice(words) for _ in range(20000)) + b"\n"
        elif kind == 1:
            chunk = bytes(rng.randrange(0, 64) for _ in range(1 << 16)) * 4
        else:
            chunk = rng.randbytes(1 << 20)
        data = (chunk * (size // len(chunk) + 1))[:size]
        if kind == 2:
            data = rng.randbytes(size)
        path = folder / f"bin/part{i % 5}/file{i:03d}.dat"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    shutil.copy(BUILD / "demo" / "product" / "stormfinch.exe", folder / "stormfinch.exe")


MANIFEST = Path("version/stormfinch/alpha/to/stable/pt-br_x64")
MANIFEST_NAMES = ("pt-br", "pt-br_x64")


def change_every_file(product: Path) -> None:
    """The next version: every file keeps its path, size and kind of content, and gets another digest."""
    rng = random.Random(20261211)
    for path in sorted(p for p in product.rglob("*") if p.is_file()):
        data = bytearray(path.read_bytes())
        if path.suffix == ".exe":
            data += rng.randbytes(16)  # after the program's own bytes: it still runs
        else:
            data[:16] = rng.randbytes(16)
        path.write_bytes(bytes(data))


def prepared_site(files: int, megabytes: int, signed: bool, update: bool) -> tuple[Path, dict]:
    """The published site; with update, it also holds the next version's packages, and the manifests of
    both versions (with their signatures) are kept beside the tree as manifest-first and manifest-next."""
    site = WORK / f"site-{files}-{megabytes}{'-signed' if signed else ''}{'-update' if update else ''}"
    if not (site / "version").exists():
        product = WORK / f"product-{files}-{megabytes}"
        shutil.rmtree(product, ignore_errors=True)
        product.mkdir(parents=True)
        print(f"generating and publishing {files} files, {megabytes} MB (once)...", flush=True)
        make_product(product, files, megabytes)
        shutil.rmtree(site, ignore_errors=True)
        # Ten years of validity: the site is kept for later runs.
        options = {"sign_key": BUILD / "test-keys" / "release-1.pem", "valid_days": 3650} if signed else {}
        if update:
            for version, which in (("9.0.0.1", "first"), ("9.0.0.2", "next")):
                if which == "next":
                    change_every_file(product)
                with tempfile.TemporaryDirectory() as tmp:
                    publish(product, version, Path(tmp), **options)
                    shutil.copytree(Path(tmp) / "files", site / "files", dirs_exist_ok=True)
                    shutil.copytree(Path(tmp) / MANIFEST.parent, site / f"manifest-{which}")
            serve_manifest(site, "next")
        else:
            publish(product, "9.0.0.1", site, **options)
    manifest = json.loads((site / MANIFEST).read_text())
    return site, manifest


def serve_manifest(site: Path, which: str) -> None:
    """Makes the version server answer with the manifest (and signature) of the first or the next version."""
    shutil.rmtree(site / MANIFEST.parent, ignore_errors=True)
    shutil.copytree(site / f"manifest-{which}", site / MANIFEST.parent)


def wine_pid(name: str) -> int | None:
    """The Linux process of a Windows program: the one whose first argument is the program itself."""
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                argv0 = (entry / "cmdline").read_bytes().split(b"\0")[0]
            except OSError:
                continue
            if argv0.lower().endswith(name.lower().encode()):
                return int(entry.name)
    return None


def peak_memory(name: str, done: threading.Event, out: list) -> None:
    """The highest VmHWM seen of the process running `name`."""
    peak = 0
    while not done.is_set():
        pid = wine_pid(name)
        if pid:
            try:
                for line in Path(f"/proc/{pid}/status").read_text().splitlines():
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]) * 1024)
            except OSError:
                pass
        time.sleep(0.02)
    out.append(peak)


def run_ours(installer: Installer, command: str = "/install") -> tuple[float, int]:
    if command == "/install":
        installer.clean()
    done, peak = threading.Event(), []
    watcher = threading.Thread(target=peak_memory, args=("Stormfinch.exe", done, peak))
    watcher.start()
    result = installer.run(command, timeout=900)
    # From process creation to exit, measured inside Windows: the Wine loader of the launcher is not ours.
    elapsed = result.elapsed_ms / 1000
    done.set()
    watcher.join()
    if result.exit_code != 0:
        raise SystemExit(f"{command} failed with {result.exit_code}\n{result.log[-3000:]}")
    return elapsed, peak[0]


def run_update(installer: Installer, site: Path) -> tuple[float, int]:
    """Installs the first version (not timed), then times the update to the next one."""
    serve_manifest(site, "first")
    run_ours(installer)
    serve_manifest(site, "next")
    return run_ours(installer, "/update")


def run_peer(manifest: dict, base_url: str, signed: bool) -> float:
    with tempfile.TemporaryDirectory() as tmp:
        tmp = Path(tmp)
        packages, unpacked = tmp / "packages", tmp / "unpacked"
        packages.mkdir()
        unpacked.mkdir()
        config = tmp / "curl.cfg"
        config.write_text("".join(f'url = "{base_url}/files/{e["md5"]}"\noutput = "{packages / e["md5"]}"\n'
                                  for e in manifest["files"]))
        start = time.perf_counter()
        subprocess.run(["curl", "--silent", "--no-progress-meter", "--fail", "--parallel", "--parallel-max", "4", "--config", str(config)],
                       check=True)
        for entry in manifest["files"]:
            target = unpacked / Path(entry["file"]).parent
            subprocess.run(["7z", "x", "-y", "-mmt=1", f"-o{target}", str(packages / entry["md5"])], check=True,
                           stdout=subprocess.DEVNULL)
        for digest in ("md5sum", "sha256sum") if signed else ("md5sum",):
            subprocess.run([digest, *[str(unpacked / e["file"]) for e in manifest["files"]]], check=True,
                           stdout=subprocess.DEVNULL)
        return time.perf_counter() - start


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=60)
    parser.add_argument("--megabytes", type=int, default=250)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--signed", action="store_true", help="a signed version and the program that checks it")
    parser.add_argument("--update", action="store_true", help="time an update in which every file changed")
    parser.add_argument("--exe", type=Path, help="another build's Stormfinch.exe, to compare two builds")
    args = parser.parse_args()

    site, manifest = prepared_site(args.files, args.megabytes, args.signed, args.update)
    largest = max(e["size"] for e in manifest["files"])
    exe = args.exe.resolve() if args.exe else BUILD / "signed" / "Stormfinch.exe" if args.signed else None
    with wine_session(WORK / "prefix") as wine:
        installer = Installer(wine, WORK / "artifacts", exe=exe)
        with tempfile.TemporaryDirectory() as logs, Nginx(site, HTTP_PORT, Path(logs)) as nginx:
            ours, peaks, peer = [], [], []
            for _ in range(args.runs):
                elapsed, peak = run_update(installer, site) if args.update else run_ours(installer)
                ours.append(elapsed)
                peaks.append(peak)
                if not args.update:
                    peer.append(run_peer(manifest, nginx.url, args.signed))
    bound = (64 << 20) + 8 * largest
    print(f"files {len(manifest['files'])}, packages {sum(e['size'] for e in manifest['files']) >> 20} MB, "
          f"largest package {largest >> 20} MB")
    if args.update:
        print(f"ours  (Stormfinch.exe /update, every file changed): {statistics.median(ours):.2f} s   "
              f"runs {', '.join(f'{t:.2f}' for t in ours)}")
        print(f"our peak memory: {max(peaks) >> 20} MiB   (bound 64 MiB + 8 x largest = {bound >> 20} MiB)")
        return
    ours_s, peer_s = statistics.median(ours), statistics.median(peer)
    print(f"ours  (Stormfinch.exe /install under Wine): {ours_s:.2f} s   runs {', '.join(f'{t:.2f}' for t in ours)}")
    digests = "md5sum, sha256sum" if args.signed else "md5sum"
    print(f"signed version: {'yes' if args.signed else 'no'}")
    print(f"peer  (curl x4, 7z x -mmt=1, {digests}): {peer_s:.2f} s   runs {', '.join(f'{t:.2f}' for t in peer)}")
    print(f"ratio ours/peer: {ours_s / peer_s:.2f}   (target <= 1.05)")
    print(f"our peak memory: {max(peaks) >> 20} MiB   (bound 64 MiB + 8 x largest = {bound >> 20} MiB)")

if __name__ == "__main__":
    main()
