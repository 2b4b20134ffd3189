"""How unattended runs end, as a table: the exit code a script gets, and what the run leaves on disk and
in the registry. Then a real full disk: a small file system mounted where the installer unpacks."""
from __future__ import annotations

import os
import re
import subprocess
import time
from contextlib import contextmanager
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

import pytest

import servers
from conftest import manifest, md5, publish_next_version, publish_other_content
from test_wizard import (INSTALL_BUTTON, LOWER_BUTTON, MANIFEST_PATH, WIZARD_CLASS, WIZARD_TITLE, Wizard,
                         answer_cancel_question, hold_open, largest_package, temp_download_folder,
                         wait_all_but_largest)

UNINSTALL = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
PRODUCT_KEYS = "HKCU\\Software\\Ardentis"
OTHER_CONTENT = b"not the product" * 100


def company_folder(installer) -> Path:
    return installer.wine.paths["APPDATA"] / "Ardentis"


def registered(installer) -> tuple[list[str], list[str]]:
    return (installer.wine.reg_subkeys(PRODUCT_KEYS),
            [k for k in installer.wine.reg_subkeys(UNINSTALL) if k.startswith("Stormfinch")])


def package_folder(installer) -> Path:
    """Where a run keeps the packages it downloaded until they are unpacked."""
    return company_folder(installer) / "packages_stormfinch"


def files_below(folder: Path) -> list[Path]:
    return [p for p in folder.rglob("*") if p.is_file()] if folder.exists() else []


@dataclass
class Ending:
    """One unattended run: how the machine is prepared, how the run is driven (None: it runs alone), the
    exit code, and what must hold afterwards."""
    name: str
    server: str                     # "nginx" or "faults"
    args: tuple[str, ...]
    exit_code: int
    prepare: Callable = lambda installer, site, server: None
    drive: Callable | None = None   # (installer, site, server) -> RunResult
    check: Callable = lambda installer, site, server, result, before: None


def manifest_always_503(installer, site, server):
    server.set_fault(MANIFEST_PATH, servers.status(503))


def nothing_left(installer, site, server, result, before):
    assert not temp_download_folder(installer).exists()
    assert files_below(company_folder(installer)) == []
    assert registered(installer) == ([], [])


def close_during_progress(installer, site, server):
    server.set_fault(largest_package(site), servers.stall(seconds=120))
    wizard = Wizard(installer, "/install")
    wizard.wait_page("TFrameProgress")
    wait_all_but_largest(server, site)
    assert temp_download_folder(installer).exists()
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    answer_cancel_question(installer, yes=True)
    return wizard.finish()


def slow_largest_package(installer, site, server):
    # Long enough for a second copy to start while this one works.
    server.set_fault(largest_package(site), servers.trickle(32768, 0.5))


def second_copy_while_the_first_works(installer, site, server):
    first = installer.start("/install")
    installer.wait_window(WIZARD_CLASS, WIZARD_TITLE)
    time.sleep(1.1)  # a second later, so the second run log gets a name of its own
    second = installer.run("/install", "abc")
    assert second.exit_code == -1
    assert "Installer: another copy of the installer is running; an unattended run cannot wait for it" in second.log
    assert not installer.wine.reg_query(f"{PRODUCT_KEYS}\\Stormfinch_abc\\1.0")
    return installer.finish(first)


def completed_default_installation(installer, site, server, result, before):
    folder = company_folder(installer) / "Stormfinch"
    assert all(md5(folder / e["file"]) == e["md5"] for e in manifest(site)["files"])
    assert registered(installer) == (["Stormfinch"], ["Stormfinch"])
    assert not (company_folder(installer) / "Stormfinch_abc").exists()


def default_installation_exists(installer, site, server):
    folder = installer.add_installation("Stormfinch")
    (folder / "keep.txt").write_text("user data")


def nothing_changed(installer, site, server, result, before):
    assert installer.state() == before


def installation_with_a_database_and_manifest_503(installer, site, server):
    """An installation whose database holds the user's files and content no version keeps: an update
    that never read its manifest must touch none of it."""
    folder = installer.add_installation("Stormfinch")
    for rel in ("database/cotationgrid/mine.xml", "database/history/old.dat", "database/loose.tmp"):
        (folder / rel).parent.mkdir(parents=True, exist_ok=True)
        (folder / rel).write_text(rel)
    manifest_always_503(installer, site, server)


def digest_never_matches(installer, site, server):
    entry = next(e for e in manifest(site)["files"] if e["file"] == "stormfinch.exe")
    publish_other_content(site, entry, OTHER_CONTENT)


def no_mismatching_file(installer, site, server, result, before):
    nothing_left(installer, site, server, result, before)
    assert "TExtractThread.Execute: Invalid hash for File: stormfinch.exe" in result.log


FOLDER_NOBODY_OWNS = {"notes.txt": b"the user's notes", "database/cotationgrid/mine.xml": b"<grid mine='1'/>"}


def folder_nobody_owns(installer, site, server):
    """A folder where the new installation goes that no installation owns, holding the user's files."""
    for rel, content in FOLDER_NOBODY_OWNS.items():
        path = company_folder(installer) / "Stormfinch" / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)


def folder_nobody_owns_held_open(installer, site, server):
    folder_nobody_owns(installer, site, server)
    installer.holder = hold_open(installer, [company_folder(installer) / "Stormfinch"])


def folder_set_aside(installer, site, server, result, before):
    completed_default_installation(installer, site, server, result, before)
    aside = [p for p in company_folder(installer).iterdir() if p.name.startswith("Stormfinch (")]
    assert len(aside) == 1, aside
    assert re.fullmatch(r"Stormfinch \(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\)", aside[0].name)
    assert {p.relative_to(aside[0]).as_posix(): p.read_bytes() for p in files_below(aside[0])} == FOLDER_NOBODY_OWNS
    assert f"it was renamed {installer.appdata_windows()}\\Ardentis\\{aside[0].name} and is left for the user" in result.log


def folder_intact_nothing_registered(installer, site, server, result, before):
    installer.holder.kill()
    installer.holder.wait()
    assert registered(installer) == ([], [])
    assert not temp_download_folder(installer).exists()
    assert installer.state() == before


ENDINGS = [
    Ending("manifest 503 forever", "faults", ("/install",), 4, manifest_always_503, None, nothing_left),
    Ending("an update whose manifest cannot be read", "faults", ("/update",), 4,
           installation_with_a_database_and_manifest_503, None, nothing_changed),
    Ending("closed during progress", "faults", ("/install",), -1, lambda *a: None, close_during_progress,
           nothing_left),
    Ending("second copy while the first works", "faults", ("/install",), 0, slow_largest_package,
           second_copy_while_the_first_works, completed_default_installation),
    Ending("/install Stormfinch over the default installation", "nginx", ("/install", "Stormfinch"), 1,
           default_installation_exists, None, nothing_changed),
    Ending("a digest that never matches", "nginx", ("/install",), -1, digest_never_matches, None,
           no_mismatching_file),
    Ending("a folder nobody owns is set aside", "nginx", ("/install",), 0, folder_nobody_owns, None,
           folder_set_aside),
    Ending("a folder nobody owns that cannot be set aside", "nginx", ("/install",), -1,
           folder_nobody_owns_held_open, None, folder_intact_nothing_registered),
]


@pytest.mark.parametrize("ending", ENDINGS, ids=[e.name for e in ENDINGS])
def test_unattended_run_endings(installer, site, request, ending):
    server = request.getfixturevalue(ending.server)
    ending.prepare(installer, site, server)
    before = installer.state()
    try:
        result = ending.drive(installer, site, server) if ending.drive else installer.run(*ending.args)
        assert result.exit_code == ending.exit_code, result.log
        ending.check(installer, site, server, result, before)
        assert not package_folder(installer).exists()
    finally:
        holder = getattr(installer, "holder", None)
        if holder:
            holder.kill()
    if ending.exit_code != 0:
        assert OTHER_CONTENT not in b"".join(p.read_bytes() for p in files_below(company_folder(installer)))


# --- A full disk ---------------------------------------------------------------------------------------------
@contextmanager
def small_file_system(folder: Path, megabytes: int):
    """A tmpfs of the given size mounted on the folder for the duration; the test is skipped where the
    machine does not allow mounting (no root, or a container without the right to mount)."""
    folder.mkdir(parents=True, exist_ok=True)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={megabytes}m,mode=0755", "sf-small-disk",
                              str(folder)], capture_output=True, text=True)
    if mounted.returncode != 0:
        pytest.skip(f"this machine does not let the tests mount a small file system: "
                    f"{mounted.stderr.strip() or mounted.returncode}")
    try:
        yield folder
    finally:
        if subprocess.run(["umount", str(folder)], capture_output=True).returncode != 0:
            subprocess.run(["umount", "-l", str(folder)], capture_output=True)


def fill(folder: Path, leave: int) -> None:
    """Takes all the space of the file system but `leave` bytes."""
    stats = os.statvfs(folder)
    free = stats.f_bavail * stats.f_frsize
    with open(folder / "filler.bin", "wb") as out:
        out.write(b"\0" * max(0, free - leave))


# An unattended new installation beside an existing one, an interactive first installation, and an
# update, whose staged files need the room: none of them may harm what is installed. With no room even
# for a package, the download that meets the full disk ends the run the same way.
@pytest.mark.parametrize("run", ["unattended", "interactive", "update", "no room for a package"])
def test_a_full_disk_stops_the_run_after_one_download(installer, nginx, site, run):
    product = sum(e["size"] for e in manifest(site)["files"])
    # Mounted on APPDATA, not on the company folder inside it: Wine shows a mount point as a link, and
    # the installer's path guard refuses a company folder that is one. The start menu, which lives in
    # APPDATA, is made again on the small disk.
    with small_file_system(installer.wine.paths["APPDATA"], 16):
        installer.wine.paths["PROGRAMS"].mkdir(parents=True)
        if run != "interactive":
            assert installer.run("/install").exit_code == 0  # the installation that must stay intact
        if run == "update":
            publish_next_version(site)
        before = installer.state()
        fetched_before = len(nginx.access_log())
        fill(installer.wine.paths["APPDATA"], 16384 if run == "no room for a package" else product // 4)

        if run == "interactive":
            wizard = Wizard(installer)
            wizard.wait_page("TFrameInstall")
            wizard.click(INSTALL_BUTTON)
            wizard.wait_page("TFrameAborted")
            installer.screenshot("disk-full", WIZARD_TITLE)
            wizard.click(LOWER_BUTTON)
            result = wizard.finish()
            assert result.exit_code == 0
        else:
            result = installer.run(*(("/update",) if run == "update" else ("/install", "abc")))
            assert result.exit_code == -1, result.log
        if run == "no room for a package":
            assert "TDownloadThread: No room for the package of File=" in result.log
        key = "Stormfinch" if run in ("interactive", "update") else "Stormfinch_abc"
        target = f"{installer.appdata_windows()}\\Ardentis\\{key}\\"
        assert f"TInstallerThread.StopForDiskFull: No space left in {target}: " in result.log
        assert not temp_download_folder(installer).exists()
        assert not (company_folder(installer) / "update_stormfinch").exists()
        assert not package_folder(installer).exists()
        (installer.wine.paths["APPDATA"] / "filler.bin").unlink()
        # The existing installation, its registry keys and shortcuts are as they were; nothing else came.
        assert installer.state() == before
        # Each package was fetched once: a full disk is not a damaged package.
        paths = [e["path"] for e in nginx.access_log()[fetched_before:] if e["path"].startswith("/files/")]
        assert len(paths) == len(set(paths)), paths
