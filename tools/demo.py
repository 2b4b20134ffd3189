#!/usr/bin/env python3
"""The main job: serve the published demo version on loopback and let the real installer install it.

Starts Xvfb and a fresh Wine prefix, serves build/win/demo/site with nginx on the address compiled into
the build, runs `Stormfinch.exe /install` (unattended) and then `Stormfinch.exe /update`, and prints what
a release engineer would check: exit codes, installed files against the manifest, the registry entries,
the shortcuts and the run log. Screenshots of the wizard land in build/win/demo-artifacts.
"""
from __future__ import annotations

import hashlib
import json
import os
import sys
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from harness import BUILD, Installer, wine_session  # noqa: E402
from servers import Nginx  # noqa: E402

HTTP_PORT = int(os.environ.get("SF_HTTP_PORT", "18480"))


def md5(path: Path) -> str:
    return hashlib.md5(path.read_bytes()).hexdigest().upper()


def snapshot_while_running(installer: Installer, proc, shots: list, label: str) -> None:
    """Screenshots of the wizard while the installer runs (the progress page is short-lived)."""
    deadline = time.monotonic() + 60
    while proc.poll() is None and time.monotonic() < deadline:
        try:
            shots.append(installer.screenshot(f"{label}-{len(shots):02d}", "Stormfinch"))
        except Exception:
            pass
        time.sleep(0.3)


def run(installer: Installer, *args: str) -> None:
    print(f"\n== Stormfinch.exe {' '.join(args)}")
    proc = installer.start(*args)
    shots: list = []
    watcher = threading.Thread(target=snapshot_while_running, args=(installer, proc, shots, args[0].strip("/")))
    watcher.start()
    result = installer.finish(proc)
    watcher.join()
    print(f"exit code: {result.exit_code}   run log: {result.log_path}")
    if shots:
        print(f"screenshots: {len(shots)} in {shots[0].parent}")
    if result.exit_code != 0:
        print(result.log)
        raise SystemExit(f"Stormfinch.exe {' '.join(args)} failed with {result.exit_code}")


def report(installer: Installer, site: Path) -> None:
    manifest = json.loads((site / "version/stormfinch/alpha/to/stable/pt-br_x64").read_text())
    folder = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch"
    print(f"\nversion {manifest['major']}.{manifest['minor']}.{manifest['release']}.{manifest['build']}, "
          f"{len(manifest['files'])} files, installed in {folder}")
    bad = 0
    for entry in manifest["files"]:
        target = folder / entry["file"]
        ok = target.is_file() and md5(target) == entry["md5"]
        bad += not ok
        print(f"  {'ok ' if ok else 'BAD'} {entry['md5']}  {entry['file']}")
    for key in ("HKCU\\Software\\Ardentis\\Stormfinch\\1.0",
                "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Stormfinch"):
        print(f"{key}:")
        for name, value in (installer.wine.reg_query(key) or {}).items():
            print(f"  {name} = {value}")
    for link in (installer.wine.paths["DESKTOP"] / "Stormfinch.lnk",
                 installer.wine.paths["PROGRAMS"] / "Ardentis" / "Stormfinch.lnk"):
        print(f"shortcut {'present' if link.is_file() else 'MISSING'}: {link}")
    if bad:
        raise SystemExit(f"{bad} installed files differ from the manifest")


def main() -> None:
    site = BUILD / "demo" / "site"
    if not (BUILD / "Stormfinch.exe").exists() or not site.is_dir():
        raise SystemExit("build the Windows tree first (scripts/build.sh)")
    with wine_session(BUILD / "demo-prefix") as wine:
        installer = Installer(wine, BUILD / "demo-artifacts")
        installer.clean()
        with tempfile.TemporaryDirectory() as logs, Nginx(site, HTTP_PORT, Path(logs)) as nginx:
            print(f"version server: {nginx.url} serving {site}")
            run(installer, "/install")
            report(installer, site)
            run(installer, "/update")
            fetched = [e for e in nginx.access_log() if e["path"].startswith("/files/")]
            print(f"\npackages fetched by the server in both runs: {len(fetched)}")

if __name__ == "__main__":
    main()
