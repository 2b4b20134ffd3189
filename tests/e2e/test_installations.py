"""Unattended runs that end at the installation check, on the real registry of the prefix."""
from __future__ import annotations

import shutil
import time

import pytest

from harness import BUILD


def test_install_over_an_existing_name_ends_with_1_and_changes_nothing(installer):
    folder = installer.add_installation("Stormfinch_ABC")
    (folder / "keep.txt").write_text("user data")
    before = installer.state()

    result = installer.run("/install", "abc")
    assert result.exit_code == 1
    assert installer.state() == before
    assert "WMVerifyPreviousInstall" in result.log


def test_update_of_a_missing_name_ends_with_2(installer):
    installer.add_installation("Stormfinch_abc")
    before = installer.state()
    assert installer.run("/update").exit_code == 2
    assert installer.run("/update", "other").exit_code == 2
    assert installer.state() == before


def start_product(installer, folder):
    """Runs a stand-in for the product's stormfinch.exe from the given folder."""
    folder.mkdir(parents=True, exist_ok=True)
    exe = folder / "stormfinch.exe"
    shutil.copy(BUILD / "tests" / "tools" / "sftool.exe", exe)
    proc = installer.wine.popen(str(exe), "sleep", "60000")
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        out = installer.wine.wine(str(installer.wine.sftool), "processes").stdout
        if "\tstormfinch.exe" in out.lower():
            break
        time.sleep(0.3)
    return proc


def test_update_while_the_product_runs_ends_with_3(installer):
    folder = installer.add_installation("Stormfinch_abc")
    product = start_product(installer, folder)
    try:
        before = installer.state()
        result = installer.run("/update", "abc")
        assert result.exit_code == 3
        assert installer.state() == before
        assert "WMVerifyPreviousInstall After Path=" not in result.log
    finally:
        product.kill()


@pytest.mark.parametrize("name", ["x\\..\\..\\..\\..", "a/b"])
def test_a_name_against_the_name_rule_shows_the_help_and_touches_nothing(installer, name):
    """x\\..\\..\\..\\.. once made the user's profile folder the installation folder; a / or \\ made
    nested registry keys. Now the command line has the wrong shape: the help window, nothing else."""
    profile = installer.wine.paths["APPDATA"].parents[1]
    sentinel = profile / "sentinel.txt"
    sentinel.write_text("the user's own")
    folder = installer.add_installation("Stormfinch_abc")
    (folder / "keep.txt").write_text("user data")
    before = installer.state()
    profile_before = sorted(p.name for p in profile.iterdir())
    try:
        proc = installer.start("/install", name)
        installer.wait_window("THelpForm", "Stormfinch - Ajuda")
        assert not any(c == "TSetupForm" for c, _, _ in installer.windows())
        installer.close_window("THelpForm", "Stormfinch - Ajuda")
        result = installer.finish(proc)
        assert result.exit_code == 0
        assert installer.state() == before
        assert sentinel.read_text() == "the user's own"
        assert sorted(p.name for p in profile.iterdir()) == profile_before
        assert "WMVerifyPreviousInstall" not in result.log
    finally:
        sentinel.unlink()
