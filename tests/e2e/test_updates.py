"""Updates that cannot break an installation, on the real installer under Wine: the first demo version is
installed and given a user's database, the next release (every file changed) is published, and /update is
killed from outside at each moment of its work, meets a file held open, or finds what an earlier installer
left. After each, every installed file is of one version or the other, and the user's files are there."""
from __future__ import annotations

import shutil
import time
from dataclasses import dataclass
from pathlib import Path

import pytest

import servers
from conftest import DEMO_VERSION, NEXT_VERSION, manifest, md5, publish_next_version, publish_other_content
from test_wizard import (LOWER_BUTTON, ONE_ROW_CONTINUE, PRODUCT_CLASS, REPAIR_BUTTON, WIZARD_CLASS, WIZARD_TITLE,
                         Wizard, hold_open, largest_package)

UNINSTALL = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Stormfinch"
KEPT = ("cotationgrid", "desktops", "assetidlists")
# What the user built over the years, in the kept folders.
USER_FILES = {"database/cotationgrid/mine.xml": b"<grid mine='1'/>",
              "database/desktops/mine.dsk": b"[desktop]\nwindows=mine",
              "database/assetidlists/mine.lst": b"WEGE3\n"}
# Database content the versions do not keep: an update removes it.
NOT_KEPT = {"database/history/old.dat": b"old history", "database/loose.tmp": b"loose"}


def company(installer) -> Path:
    return installer.wine.paths["APPDATA"] / "Ardentis"


def digests(entries) -> dict[str, str]:
    return {e["file"]: e["md5"] for e in entries["files"]}


def installed(folder: Path) -> dict[str, bytes]:
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


def install_first_version(installer, site) -> tuple[Path, dict[str, str]]:
    """The demo version installed, with the user's database and content the versions do not keep."""
    result = installer.run("/install")
    assert result.exit_code == 0, result.log
    folder = company(installer) / "Stormfinch"
    for rel, content in {**USER_FILES, **NOT_KEPT}.items():
        (folder / rel).parent.mkdir(parents=True, exist_ok=True)
        (folder / rel).write_bytes(content)
    return folder, digests(manifest(site))


def uninstall_version(installer) -> str:
    return installer.wine.reg_query(UNINSTALL, "DisplayVersion")["DisplayVersion"]


def assert_one_version_per_file(folder: Path, old: dict[str, str], new: dict[str, str]) -> None:
    """Every file of the product has the old or the new version's digest for its path (none half-written,
    none missing), and the kept database folders hold exactly the user's files beside the product's."""
    files = installed(folder)
    for rel in old.keys() | new.keys():
        assert rel in files, f"{rel} is missing"
        assert md5(folder / rel) in (old.get(rel), new.get(rel)), f"{rel} is of neither version"
    for kept in KEPT:
        below = {rel for rel in files if rel.startswith(f"database/{kept}/")}
        expected = {rel for rel in USER_FILES.keys() | old.keys() if rel.startswith(f"database/{kept}/")}
        assert below == expected, kept
    for rel, content in USER_FILES.items():
        assert files[rel] == content, rel
    unknown = files.keys() - old.keys() - new.keys() - USER_FILES.keys() - NOT_KEPT.keys()
    assert not unknown, unknown


def assert_updated(installer, folder: Path, new: dict[str, str]) -> None:
    """The folder is the new version exactly, plus the user's database; nothing of the update is left."""
    files = installed(folder)
    assert files.keys() == new.keys() | USER_FILES.keys()
    assert all(md5(folder / rel) == digest for rel, digest in new.items())
    assert all(files[rel] == content for rel, content in USER_FILES.items())
    assert not (company(installer) / "update_stormfinch").exists()
    assert not (folder / "database_backup").exists()
    assert uninstall_version(installer) == NEXT_VERSION


def wait_in_log(installer, text: str, proc, timeout: float = 60) -> None:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        logs = installer.logs()
        if logs and text in logs[-1].read_bytes().decode("utf-8", "replace"):
            return
        assert proc.poll() is None, "the installer ended before the moment came"
        time.sleep(0.2)
    raise AssertionError(f"{text!r} not in the run log")


# --- Killed at each moment ---------------------------------------------------------------------------------
@dataclass
class Kill:
    name: str
    pause: str | None  # the test-only pause point (SF_TEST_PAUSE) the run waits at; None: a stalled download
    recovery: str      # what the next run logs about the update it finds
    swapped: str       # which version the files are after the kill: "old", "mixed" or "new"
    # The next run is the wizard, which recovers before it shows the installations, then /update.
    interactive: bool = False


KILLS = [
    Kill("during downloads", None, "Stormfinch: no swap began", "old"),
    Kill("during extraction into the staging folder", "extract:2", "Stormfinch: no swap began", "old"),
    Kill("in the middle of the swap", "swap:3", " is rolled forward", "mixed"),
    Kill("between the swap and the registry step", "registry:1", " is cleaned up", "new", interactive=True),
]


@pytest.mark.parametrize("kill", KILLS, ids=[k.name for k in KILLS])
def test_an_update_killed_at_any_moment_leaves_one_version_per_file(installer, faults, site, kill):
    folder, old = install_first_version(installer, site)
    new = digests(publish_next_version(site))
    if kill.pause:
        proc = installer.start("/update", env={"SF_TEST_PAUSE": kill.pause})
        wait_in_log(installer, f"TestPausePoint: {kill.pause.replace(':', ' ')}", proc)
    else:
        stalled = largest_package(site)
        faults.set_fault(stalled, servers.stall(seconds=120))
        proc = installer.start("/update")
        deadline = time.monotonic() + 60
        while not any(e["path"] == stalled for e in faults.access_log()):
            assert time.monotonic() < deadline and proc.poll() is None
            time.sleep(0.2)
    killed = installer.kill(proc)
    assert "TestPausePoint" in killed.log or kill.pause is None
    packages = installer.wine.paths["APPDATA"] / "Ardentis" / "packages_stormfinch"
    # A run killed while it works on packages leaves them (during downloads, the stalled one half written);
    # the next run removes them. The swap begins once every package is unpacked and the folder is gone.
    assert packages.exists() == (kill.pause in (None, "extract:2"))

    assert_one_version_per_file(folder, old, new)
    versions = {"old" if md5(folder / rel) == old[rel] else "new" for rel in new}
    assert versions == ({"old", "new"} if kill.swapped == "mixed" else {kill.swapped})
    # The registry is written only after the swap.
    assert uninstall_version(installer) == DEMO_VERSION

    faults.reset()
    if kill.interactive:
        wizard = Wizard(installer)
        wizard.wait_page("TFrameInstallUpdate")
        assert kill.recovery in wizard.wait_log("RecoverInterruptedUpdate: ")
        # The swap was complete: the uninstall entry now describes what is on disk.
        assert_updated(installer, folder, new)
        installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
        assert wizard.finish().exit_code == 0
    again = installer.run("/update")
    assert again.exit_code == 0, again.log
    assert (kill.recovery in again.log) != kill.interactive
    assert_updated(installer, folder, new)
    assert not packages.exists()


# --- A file held open --------------------------------------------------------------------------------------
@pytest.mark.parametrize("unattended", [True, False], ids=["unattended", "interactive"])
def test_a_file_held_open_during_the_swap_leaves_the_old_version(installer, nginx, site, unattended):
    folder, old = install_first_version(installer, site)
    before = installed(folder)
    new = digests(publish_next_version(site))
    # The last file in the swap's order: every other file has moved when it is met, and moves back.
    holder = hold_open(installer, [folder / "stormfinch.exe"])
    try:
        if unattended:
            result = installer.run("/update")
            assert result.exit_code == -1, result.log
            assert "Swap failed: a file is in use. Ending the unattended run." in result.log
            assert "Retry allowed" not in result.log
            assert not (company(installer) / "update_stormfinch").exists()
        else:
            wizard = Wizard(installer)
            wizard.wait_page("TFrameInstallUpdate")
            wizard.click(REPAIR_BUTTON)
            wizard.wait_page("TFrameSelectInstall")
            wizard.click(ONE_ROW_CONTINUE)
            wizard.wait_page("TFrameRetry")
            wizard.check_looks("page6-in-use")  # the retry page with the file-in-use text
            log = wizard.wait_log("TInstallerThread.SwapUpdateIntoPlace: Swap failed once. Retry allowed.")
            assert "SwapIntoPlace: rolled back; " in log
        assert installed(folder) == before
    finally:
        holder.kill()
        holder.wait()
    if unattended:
        # The old version starts as before.
        product = installer.wine.popen(installer.wine.windows_path(folder / "stormfinch.exe"))
        try:
            installer.wait_window(PRODUCT_CLASS, f"Stormfinch Demo {DEMO_VERSION}")
        finally:
            installer.wine.wine("taskkill", "/f", "/im", "stormfinch.exe", check=False)
            product.wait()
        assert uninstall_version(installer) == DEMO_VERSION
    else:
        # Released: the retry swaps the verified files in without fetching them again.
        fetched = len(nginx.access_log())
        wizard.click(LOWER_BUTTON)
        wizard.wait_page("TFrameInstallDone")
        installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
        assert wizard.finish().exit_code == 0
        assert len(nginx.access_log()) == fetched
        assert_updated(installer, folder, new)


# --- What an earlier run left ------------------------------------------------------------------------------
def test_a_database_backup_left_by_an_earlier_installer_is_merged_back(installer, nginx, site):
    folder, _ = install_first_version(installer, site)
    # An earlier installer moved the kept folders aside and died before moving them back.
    backup = folder / "database_backup"
    backup.mkdir()
    for kept in KEPT:
        shutil.move(folder / "database" / kept, backup / kept)
    left = installed(backup)
    assert set(USER_FILES) <= {f"database/{rel}" for rel in left}
    new = digests(publish_next_version(site))

    result = installer.run("/update")
    assert result.exit_code == 0, result.log
    assert "MergeDatabaseBackup: " in result.log
    # Every file is back in the database: the user's as they were, the product's of the new version.
    for rel, content in left.items():
        path = folder / "database" / rel
        assert path.read_bytes() == content or md5(path) == new[f"database/{rel}"], rel
    assert_updated(installer, folder, new)


@pytest.mark.parametrize("damage", ["wrong digest", "damaged package"])
def test_an_update_with_a_bad_package_leaves_the_installation_as_it_was(installer, nginx, site, damage):
    folder, _ = install_first_version(installer, site)
    before = installed(folder)
    entry = next(e for e in publish_next_version(site)["files"] if e["file"] == "stormfinch.exe")
    if damage == "wrong digest":
        publish_other_content(site, entry, b"not the product" * 100)
    else:
        package = site / "files" / entry["md5"]
        data = bytearray(package.read_bytes())
        data[len(data) // 2] ^= 0xFF
        package.write_bytes(bytes(data))
    result = installer.run("/update")
    assert result.exit_code == -1, result.log
    assert installed(folder) == before
    assert not (company(installer) / "update_stormfinch").exists()
    assert uninstall_version(installer) == DEMO_VERSION
