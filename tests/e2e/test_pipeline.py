"""Unattended installs and updates from end to end: the real installer under Wine against the published
demo version served by nginx (or the fault server)."""
from __future__ import annotations

import io
import struct
import zipfile

import pytest

import servers
from conftest import assert_fetched_through, manifest, md5, publish_other_content

UNINSTALL = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
PRODUCT_KEYS = "HKCU\\Software\\Ardentis"


def installed_folder(installer, key):
    return installer.wine.paths["APPDATA"] / "Ardentis" / key


def assert_installed_as_published(folder, site):
    for entry in manifest(site)["files"]:
        target = folder / entry["file"]
        assert target.is_file(), entry["file"]
        assert md5(target) == entry["md5"], entry["file"]


def folder_size(folder):
    return sum(p.stat().st_size for p in folder.rglob("*") if p.is_file())


def test_unattended_install_places_registers_and_links_the_product(installer, nginx, site):
    result = installer.run("/install")
    assert result.exit_code == 0, result.log

    folder = installed_folder(installer, "Stormfinch")
    assert_installed_as_published(folder, site)
    assert not (installer.wine.paths["APPDATA"] / "Ardentis" / "temp_install_stormfinch").exists()

    appdata = installer.appdata_windows()
    path = f"{appdata}\\Ardentis\\Stormfinch\\"
    assert installer.wine.reg_query(f"{PRODUCT_KEYS}\\Stormfinch\\1.0") == {"Dir": path}
    assert installer.wine.reg_query(f"{PRODUCT_KEYS}\\Stormfinch\\1.0\\Default") == {"IsDarkTheme": "1"}
    assert installer.wine.reg_query(f"{PRODUCT_KEYS}\\Stormfinch\\1.0\\Preferences") == {"Language": "0"}
    entry = installer.wine.reg_query(f"{UNINSTALL}\\Stormfinch")
    assert entry == {
        "DisplayName": "Stormfinch",
        "DisplayIcon": path + "stormfinch.exe",
        "DisplayVersion": "5.2.0.7",
        "InstallLocation": path,
        "Publisher": "Ardentis",
        "NoModify": "0x1",
        "NoRepair": "0x1",
        "EstimatedSize": hex(folder_size(folder) // 1024),
        "Language": "0x416",
        "Version": "5.2.0.7",
        "UninstallString": f'"{path}Desinstalar.exe"',
    }
    assert (installer.wine.paths["DESKTOP"] / "Stormfinch.lnk").is_file()
    assert (installer.wine.paths["PROGRAMS"] / "Ardentis" / "Stormfinch.lnk").is_file()

    log = result.log
    for line in ("WMSetNewInstall TempDir=", "TInstallerThread.WMSetupDownloads: Version=5.2.0.7. Files count=",
                 "WMUpdateProgress New Install, Path=", "WriteRegistry", "CreateShortcuts"):
        assert line in log
    # Every package was fetched once, largest first.
    files = [e for e in nginx.access_log() if e["path"].startswith("/files/")]
    assert len(files) == len(manifest(site)["files"])
    assert all(e["status"] == 200 for e in files)


def test_a_named_installation_lives_beside_the_default_one(installer, nginx, site):
    assert installer.run("/install").exit_code == 0
    result = installer.run("/install", "abc")
    assert result.exit_code == 0, result.log

    assert_installed_as_published(installed_folder(installer, "Stormfinch_abc"), site)
    assert installer.wine.reg_query(f"{UNINSTALL}\\Stormfinch_abc", "DisplayName") == {
        "DisplayName": "Stormfinch (abc)"}
    assert set(installer.wine.reg_subkeys(PRODUCT_KEYS)) == {"Stormfinch", "Stormfinch_abc"}
    assert (installer.wine.paths["DESKTOP"] / "Stormfinch (abc).lnk").is_file()
    assert (installer.wine.paths["PROGRAMS"] / "Ardentis" / "Stormfinch (abc).lnk").is_file()
    assert (installer.wine.paths["DESKTOP"] / "Stormfinch.lnk").is_file()


def test_update_keeps_the_user_database_and_fetches_only_what_changed(installer, nginx, site):
    assert installer.run("/install").exit_code == 0
    folder = installed_folder(installer, "Stormfinch")
    database = folder / "database"
    (database / "cotationgrid" / "mine.xml").write_text("my grid")
    (database / "history").mkdir()
    (database / "history" / "old.dat").write_text("old")
    (database / "loose.tmp").write_text("loose")
    plugin = next(e for e in manifest(site)["files"] if e["file"].startswith("bin/"))
    (folder / plugin["file"]).write_bytes(b"damaged by the user")
    installer.wine.wine("reg", "add", f"{PRODUCT_KEYS}\\Stormfinch\\1.0\\Preferences", "/v", "Language",
                        "/d", "2", "/f")
    before = len(nginx.access_log())

    result = installer.run("/update")
    assert result.exit_code == 0, result.log

    assert sorted(p.name for p in database.iterdir()) == ["assetidlists", "cotationgrid", "desktops"]
    assert (database / "cotationgrid" / "mine.xml").read_text() == "my grid"
    assert not (folder / "database_backup").exists()
    assert md5(folder / plugin["file"]) == plugin["md5"]
    # Only the damaged file was fetched again; the kept database files were current already.
    fetched = [e["path"] for e in nginx.access_log()[before:] if e["path"].startswith("/files/")]
    assert fetched == ["/files/" + plugin["md5"]]
    assert installer.wine.reg_query(f"{PRODUCT_KEYS}\\Stormfinch\\1.0\\Preferences") == {"Language": "2"}
    # The damaged file was staged and swapped in; what the database no longer keeps went with the swap.
    swapped = f"SwapIntoPlace: {installer.appdata_windows()}\\Ardentis\\Stormfinch\\ Files=1 Database entries to clean=2"
    assert swapped in result.log
    assert not (installer.wine.paths["APPDATA"] / "Ardentis" / "update_stormfinch").exists()


def package_path(site, name_prefix):
    entry = next(e for e in manifest(site)["files"] if e["file"].startswith(name_prefix))
    return entry, site / "files" / entry["md5"]


def assert_nothing_registered(installer):
    assert installer.wine.reg_subkeys(PRODUCT_KEYS) == []
    assert installer.wine.reg_query(f"{UNINSTALL}\\Stormfinch") is None
    assert not (installer.wine.paths["DESKTOP"] / "Stormfinch.lnk").exists()


def test_a_package_that_fails_three_times_ends_with_4(installer, faults, site):
    entry, _ = package_path(site, "bin/")
    faults.set_fault("/files/" + entry["md5"], {"kind": "status", "status": 503, "reason": "Service Unavailable"})
    result = installer.run("/install")
    assert result.exit_code == 4, result.log
    assert_nothing_registered(installer)
    attempts = [e for e in faults.access_log() if e["path"] == "/files/" + entry["md5"]]
    assert len(attempts) == 3


@pytest.mark.parametrize("damage", ["corrupt package", "wrong digest", "entry of another name"])
def test_a_bad_package_never_completes_an_unattended_install(installer, nginx, site, damage):
    entry, package = package_path(site, "stormfinch.exe")
    data = bytearray(package.read_bytes())
    if damage == "corrupt package":
        data[len(data) // 2] ^= 0xFF
        package.write_bytes(bytes(data))
    elif damage == "wrong digest":
        # A well-formed package of other content: its digest differs from the manifest's.
        publish_other_content(site, entry, b"not the product" * 100)
    else:
        # The right content under another name: it would be placed as another file.
        with zipfile.ZipFile(io.BytesIO(bytes(data))) as published:
            publish_other_content(site, entry, published.read("stormfinch.exe"), name="other.exe")
    result = installer.run("/install")
    assert result.exit_code == -1, result.log
    assert_nothing_registered(installer)
    assert not (installed_folder(installer, "Stormfinch") / "stormfinch.exe").exists()
    if damage == "entry of another name":
        assert "the entry is named other.exe, not stormfinch.exe as the manifest says" in result.log
        assert not list(installer.wine.paths["APPDATA"].rglob("other.exe"))


CONNECTIONS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections"


def set_browser_proxy(installer, proxy: str | None) -> None:
    """The user's browser proxy as the connection settings hold it (header, flags 2 = "use a proxy", then
    the proxy text, an empty bypass list and no script), or none."""
    if proxy is None:
        installer.wine.wine("reg", "delete", CONNECTIONS, "/v", "DefaultConnectionSettings", "/f", check=False)
        return
    blob = struct.pack("<4I", 0x46, 0, 2, len(proxy)) + proxy.encode() + struct.pack("<2I", 0, 0)
    installer.wine.wine("reg", "add", CONNECTIONS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY",
                        "/d", blob.hex(), "/f")


def test_the_browser_proxy_carries_an_unattended_install(installer, nginx, site, tmp_path):
    with servers.Tinyproxy(0, tmp_path / "proxy") as proxy:
        # Wine's proxy setting is bypassed for the host it names, so the proxy goes by another name.
        set_browser_proxy(installer, f"localhost:{proxy.port}")
        try:
            result = installer.run("/install")
        finally:
            set_browser_proxy(installer, None)
        proxied = proxy.log()
    assert result.exit_code == 0, result.log
    assert f"WMSetProxyConfig: Host=localhost Port={proxy.port} " in result.log
    assert_installed_as_published(installed_folder(installer, "Stormfinch"), site)
    assert_fetched_through(proxied, nginx, site)
