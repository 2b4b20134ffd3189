#!/usr/bin/env python3
"""The main job, end to end: a release engineer publishes a version, a user installs it with the wizard,
works with it, and takes the next version as an update.

    demo.py [--setup-seconds S] [--build-seconds S]

Needs the Windows tree built with loopback addresses (scripts/demo.sh builds what it needs). On a fresh
Wine prefix under Xvfb, with nginx serving the version server's tree on the compiled-in address:

  1. the demo product's version SF_DEMO_VERSION (build/win/demo/site) is published;
  2. Stormfinch.exe installs it through the wizard: Install, the progress page, the completion page
     (screenshots of each, taken once the window has painted);
  3. the user adds a desktop layout of their own to the installation's database folder;
  4. the next version is published over the first (a new program, a changed plug-in, a new one);
  5. `Stormfinch.exe /update` updates the installation.

It checks what a release engineer would: the exit codes, every installed file against the manifest of
its version, that the update fetched only the packages that changed (nginx's log), that the user's file
survived, and prints a short report with the times. Screenshots and run logs land in build/win/demo-run.
"""
from __future__ import annotations

import argparse
import hashlib
import json
import os
import shutil
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
sys.path.insert(0, str(REPO / "demo"))

import assemble  # noqa: E402
from harness import BUILD, Installer, Wizard, file_version, refuse_unless_loopback, wine_session  # noqa: E402
from servers import Nginx, publish  # noqa: E402

HTTP_PORT = int(os.environ.get("SF_HTTP_PORT", "18480"))
MANIFEST = Path("version/stormfinch/alpha/to/stable/pt-br_x64")
INSTALL_BUTTON = (300, 186)  # the first page's install button, in the window's design
# Slow enough for the progress page to be seen, as over a real connection.
RATE = "48k"
USER_FILE = Path("database/desktops/minha-mesa.dsk")
USER_TEXT = "[desktop]\nwindows=quotes,chart,book\nlayout=2x2\n"


class DemoError(Exception):
    pass


def md5(path: Path) -> str:
    return hashlib.md5(path.read_bytes()).hexdigest().upper()


def check(condition: bool, message: str) -> None:
    if not condition:
        raise DemoError(message)


def next_version(product: Path, target: Path) -> tuple[str, list[str]]:
    """The next version of the demo product in target: its program rebuilt, the chart plug-in changed and
    a plug-in added. Returns the version and the files that differ from the first."""
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(product, target)
    program = BUILD / "demo" / "next" / "stormfinch.exe"
    check(program.is_file(), f"{program} is missing: build the target demo_stormfinch_next")
    shutil.copyfile(program, target / "stormfinch.exe")
    (target / "bin/plugins/charts.dll").write_bytes(assemble.dll_like(12, 125_000, False))
    (target / "bin/plugins/indicators/vwap.dll").write_bytes(assemble.dll_like(13, 22_000, True))
    return file_version(program)[0], ["stormfinch.exe", "bin/plugins/charts.dll", "bin/plugins/indicators/vwap.dll"]


def installed_matches(installer: Installer, manifest: dict) -> list[str]:
    """The manifest's files that are not installed as published."""
    folder = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch"
    return [e["file"] for e in manifest["files"]
            if not (folder / e["file"]).is_file() or md5(folder / e["file"]) != e["md5"]]


def install_with_the_wizard(installer: Installer, shots: dict[str, Path]) -> int:
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    wizard.rest_pointer()
    shots["first page"] = wizard.painted_screenshot("1-first-page")
    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameProgress", timeout=30)
    time.sleep(1.0)  # the bar has moved: the largest package is on its way
    wizard.rest_pointer()
    shots["progress page"] = wizard.painted_screenshot("2-progress")
    check(wizard.visible_page() == "TFrameProgress", "the installation ended before its progress could be seen")
    wizard.wait_page("TFrameInstallDone", timeout=120)
    wizard.rest_pointer()
    shots["completion page"] = wizard.painted_screenshot("3-completion")
    installer.close_window("TSetupForm", "Stormfinch")
    return wizard.finish().exit_code


def run(args) -> list[str]:
    started = time.monotonic()
    times: dict[str, float] = {}
    exe = BUILD / "Stormfinch.exe"
    first_site = BUILD / "demo" / "site"
    check(exe.is_file() and first_site.is_dir(), "build the installer and the demo product first (scripts/demo.sh)")
    refuse_unless_loopback(exe)
    work = BUILD / "demo-run"
    shutil.rmtree(work, ignore_errors=True)
    site = work / "site"
    shutil.copytree(first_site, site)
    first = json.loads((site / MANIFEST).read_text())
    first_version = "{major}.{minor}.{release}.{build}".format(**first)
    shots: dict[str, Path] = {}

    with wine_session(BUILD / "demo-prefix") as wine:
        installer = Installer(wine, work)
        installer.clean()
        times["prefix"] = time.monotonic() - started
        with Nginx(site, HTTP_PORT, work / "nginx", rate=RATE) as nginx:
            begin = time.monotonic()
            install_code = install_with_the_wizard(installer, shots)
            times["install"] = time.monotonic() - begin
            check(install_code == 0, f"the installation ended with exit code {install_code}")
            not_installed = installed_matches(installer, first)
            check(not not_installed, f"installed files differ from version {first_version}: {not_installed}")
            installer.keep_logs()

            folder = wine.paths["APPDATA"] / "Ardentis" / "Stormfinch"
            (folder / USER_FILE).parent.mkdir(parents=True, exist_ok=True)
            (folder / USER_FILE).write_text(USER_TEXT)

            second_version, changed = next_version(BUILD / "demo" / "product", work / "product-next")
            second = publish(work / "product-next", second_version, site, changes=["Gráficos mais rápidos",
                                                                                  "Indicador VWAP"])
            log_before = len(nginx.access_log())
            begin = time.monotonic()
            update = installer.run("/update")
            times["update"] = time.monotonic() - begin
            check(update.exit_code == 0, f"the update ended with exit code {update.exit_code}:\n{update.log}")
            installer.keep_logs()
            fetched = sorted(e["path"].removeprefix("/files/") for e in nginx.access_log()[log_before:]
                             if e["path"].startswith("/files/"))

        by_md5 = {e["md5"]: e["file"] for e in second["files"]}
        expected = sorted(e["md5"] for e in second["files"] if e["file"] in changed)
        check(fetched == expected, f"the update fetched {[by_md5.get(m, m) for m in fetched]}, "
                                   f"not only the changed files {changed}")
        not_updated = installed_matches(installer, second)
        check(not not_updated, f"installed files differ from version {second_version}: {not_updated}")
        check((folder / USER_FILE).read_text() == USER_TEXT, f"the user's {USER_FILE} did not survive the update")
        entry = wine.reg_query(r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Stormfinch") or {}
        shown_version = entry.get("DisplayVersion", "?")

    total = time.monotonic() - started + args.setup_seconds + args.build_seconds

    def step(what: str, seconds: float | None = None, result: str = "") -> str:
        took = f"{seconds:6.1f} s" if seconds is not None else " " * 8
        return f"  {what:<44}{took}   {result}".rstrip()

    return [
        f"Stormfinch demo: version server http://127.0.0.1:{HTTP_PORT} (nginx, {RATE}/s per download)",
        step("machine set-up (packages)", args.setup_seconds),
        step("build: installer, demo product, test tool", args.build_seconds),
        step("Wine prefix and display", times["prefix"]),
        step(f"install {first_version} with the wizard", times["install"],
             f"exit 0; {len(first['files'])} files as published"),
        step(f"user adds {USER_FILE}"),
        step(f"publish {second_version}", None, "changed: " + ", ".join(changed)),
        step(f"update to {second_version} (/update)", times["update"],
             f"exit 0; {len(second['files'])} files as published; uninstall entry shows {shown_version}"),
        step("  packages fetched", None, f"{len(fetched)} of {len(second['files'])}, only the changed ones: "
                                         + ", ".join(by_md5[m] for m in fetched)),
        step(f"  {USER_FILE}", None, "kept"),
        step("screenshots", None, ", ".join(f"{name} ({path.name})" for name, path in shots.items())),
        step("total", total, f"(screenshots and run logs in {work})"),
    ]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--setup-seconds", type=float, default=0.0)
    parser.add_argument("--build-seconds", type=float, default=0.0)
    args = parser.parse_args()
    try:
        report = run(args)
    except (DemoError, ValueError) as e:
        print(f"demo FAILED: {e}", file=sys.stderr)
        return 1
    print("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main())
