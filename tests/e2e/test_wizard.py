"""The wizard on the real executable under Wine: its pages as the screen shows them, compared with the
reference pictures in reference/, and the page flow driven with xdotool against nginx and the fault
server.

SF_UPDATE_REFERENCES=1 makes the screenshots the new references instead of comparing them (look at
them before committing)."""
from __future__ import annotations

import ctypes
import ctypes.util
import json
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

import harness
import servers
from conftest import assert_fetched_through, manifest, md5
from harness import ARTIFACTS, BUILD, WIZARD_CLASS, WIZARD_TITLE, Display, Installer, Wine

PRODUCT_CLASS = "StormfinchDemoWindow"
REFERENCE = Path(__file__).resolve().parent / "reference"
SCALED_REFERENCE = Path(__file__).resolve().parents[1] / "unit" / "win" / "reference"
MANIFEST_PATH = "/version/stormfinch/alpha/to/stable/pt-br_x64"
VERSION_TEXT = Path("produtos/bin/newquillon/version.txt")

# Points inside the buttons and images, in window coordinates, where the page layouts put them.
INSTALL_BUTTON = (300, 186)        # page 3
REPAIR_BUTTON = (230, 186)         # page 4, two-line sentence: the same row as page 3's button
NEW_INSTALL_BUTTON = (370, 186)    # page 4
OPEN_BUTTON = (300, 174)           # page 2
LOWER_BUTTON = (300, 200)          # pages 6, 7 and 9
NAME_CONTINUE = (300, 180)         # page 1
NAME_FIELD = (300, 130)            # page 1
ONE_ROW_CONTINUE = (300, 181)      # page 8 with one row of installations
CLOSE_IMAGE = (583, 17)
INTERNET_LINK = (40, 225)          # pages 3, 4 and 6
LICENCE_LINK = (330, 130)          # page 3, "contrato de licença" on the sentence's second line
AGREEMENT_TEXT = (300, 112)        # page 3, first line of the sentence: not a drag handle
IDENTIFIER_FIELD = (175, 153, 250, 21)
BAD_NAME_MESSAGE = ("O nome não pode conter \\ / : * ? \" < > | nem caracteres de controle, nem começar ou terminar "
                    "com ponto ou espaço")


# --- Pictures --------------------------------------------------------------------------------------------
def _pixels(path: Path) -> tuple[int, int, bytes]:
    size = subprocess.run(["convert", str(path), "-format", "%w %h", "info:"], capture_output=True, text=True,
                          check=True).stdout.split()
    data = subprocess.run(["convert", str(path), "-alpha", "off", "-depth", "8", "rgb:-"], capture_output=True,
                          check=True).stdout
    return int(size[0]), int(size[1]), data


def _unmatched(a: bytes, b: bytes, w: int, h: int, masks, tolerance: int) -> int:
    """Pixels of a with no pixel of a close colour (each channel within tolerance) at the same place or
    one pixel away in b."""
    bad = 0
    for y in range(h):
        for x in range(w):
            i = (y * w + x) * 3
            if a[i:i + 3] == b[i:i + 3] or any(mx <= x < mx + mw and my <= y < my + mh for mx, my, mw, mh in masks):
                continue
            found = False
            for ny in range(max(0, y - 1), min(h, y + 2)):
                for nx in range(max(0, x - 1), min(w, x + 2)):
                    j = (ny * w + nx) * 3
                    if all(abs(a[i + c] - b[j + c]) <= tolerance for c in range(3)):
                        found = True
                        break
                if found:
                    break
            bad += not found
    return bad


def mismatched_pixels(shot: Path, reference: Path, masks=(), tolerance: int = 48) -> int:
    """Pixels that have no counterpart of a close colour at the same place or one pixel away in the other
    picture, counted both ways. Font smoothing moves edges by a pixel and shades them a little; a label,
    button or image that moves, grows or goes away leaves many pixels without a counterpart, thin ones
    included (those are found from the picture that has them)."""
    w, h, a = _pixels(shot)
    rw, rh, b = _pixels(reference)
    if (w, h) != (rw, rh):
        return w * h
    return _unmatched(a, b, w, h, masks, tolerance) + _unmatched(b, a, w, h, masks, tolerance)


class _SelectionEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                ("target", ctypes.c_ulong), ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


def x_clipboard_text(display: str, timeout: float = 10) -> str:
    """The X clipboard's text, which Wine offers to X clients for what a Windows program copied."""
    x = ctypes.CDLL(ctypes.util.find_library("X11"))
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XCreateSimpleWindow.restype = ctypes.c_ulong
    x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 4 + [ctypes.c_uint] + \
        [ctypes.c_ulong] * 2
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XConvertSelection.argtypes = [ctypes.c_void_p] + [ctypes.c_ulong] * 5
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
                                     ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                     ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
                                     ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]

    dpy = x.XOpenDisplay(display.encode())
    assert dpy, f"cannot open display {display}"
    try:
        window = x.XCreateSimpleWindow(dpy, x.XDefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0)
        prop = x.XInternAtom(dpy, b"SF_CLIPBOARD", 0)
        x.XConvertSelection(dpy, x.XInternAtom(dpy, b"CLIPBOARD", 0), x.XInternAtom(dpy, b"UTF8_STRING", 0), prop,
                            window, 0)
        event = (ctypes.c_char * 192)()
        deadline = time.monotonic() + timeout
        while True:
            assert time.monotonic() < deadline, "no answer from the clipboard's owner"
            if not x.XPending(dpy):
                time.sleep(0.05)
                continue
            x.XNextEvent(dpy, event)
            notify = _SelectionEvent.from_buffer(event)
            if notify.type == 31:  # SelectionNotify
                break
        assert notify.property, "the clipboard has no text"
        kind, fmt, items, after = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        x.XGetWindowProperty(dpy, window, prop, 0, 65536, 0, 0, ctypes.byref(kind), ctypes.byref(fmt),
                             ctypes.byref(items), ctypes.byref(after), ctypes.byref(data))
        text = ctypes.string_at(data, items.value).decode("utf-8")
        x.XFree(data)
        return text
    finally:
        x.XCloseDisplay(dpy)


# --- The wizard ------------------------------------------------------------------------------------------
class Wizard(harness.Wizard):
    """The running wizard of one test, seen through its window and its child windows."""

    def __init__(self, installer, *args: str) -> None:
        super().__init__(installer, *args)
        # At another scale the pictures are those the Windows unit tests compare their renders with.
        self.reference = REFERENCE if installer.wine.dpi == 96 else SCALED_REFERENCE / f"{installer.wine.dpi}dpi"

    def check_looks(self, name: str, masks=()) -> None:
        """The window as the screen shows it matches reference/<name>.png."""
        self.rest_pointer()
        shot = self.installer.screenshot(name, WIZARD_TITLE)
        reference = self.reference / f"{name}.png"
        if os.environ.get("SF_UPDATE_REFERENCES") == "1":
            self.reference.mkdir(parents=True, exist_ok=True)
            shutil.copy(shot, reference)
            return
        assert reference.exists(), f"no reference picture {reference}"
        bad = mismatched_pixels(shot, reference, masks)
        if bad > 40:
            subprocess.run(["compare", str(shot), str(reference), str(shot.with_name(f"{name}-diff.png"))],
                           capture_output=True)
        assert bad <= 40, f"{name}: {bad} pixels differ from {reference} (see {shot})"

    def field_text(self) -> str:
        """The text of the edit field on the page shown (the name or the identifier)."""
        return next(text for cls, text, visible in self.installer.control_texts(WIZARD_CLASS, WIZARD_TITLE)
                    if cls == "Edit" and visible)

    def wait_field_text(self, expected: str, timeout: float = 10) -> None:
        """Until the field shows the expected text: keys sent by xdotool are still on their way when it
        returns."""
        deadline = time.monotonic() + timeout
        while self.field_text() != expected:
            assert time.monotonic() < deadline, f"the field shows {self.field_text()!r}, not {expected!r}"
            time.sleep(0.2)

    def click_until_emptied(self, point: tuple[int, int]) -> None:
        """Clicks the name field until it takes the keyboard and drops its placeholder: under Wine without a
        window manager the first clicks after a message box may only bring the window's activation back."""
        for _ in range(10):
            self.installer.xdotool("windowfocus", "--sync", self.window)
            self.click(point)
            time.sleep(0.5)
            if self.field_text() == "":
                return
        raise AssertionError(f"the field kept {self.field_text()!r}")

    def keys(self, *keys: str) -> None:
        """Keys to the control that has the keyboard (the window takes the X focus first)."""
        self.installer.xdotool("windowfocus", "--sync", self.window)
        self.installer.xdotool("key", "--window", self.window, *keys)

    def keys_that_end(self, *keys: str) -> None:
        """Keys that end the program: an ending program takes its window down at once, possibly before
        xdotool has released the last key, which it then reports as a window that is gone."""
        self.installer.xdotool("windowfocus", "--sync", self.window)
        try:
            self.installer.xdotool("key", "--window", self.window, *keys)
        except subprocess.CalledProcessError as error:
            if "BadWindow" not in (error.stderr or ""):
                raise

    def type(self, text: str) -> None:
        self.installer.xdotool("windowfocus", "--sync", self.window)
        self.installer.xdotool("type", "--window", self.window, text)

    def wait_log(self, text: str, timeout: float = 30) -> str:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            logs = self.installer.logs()
            log = logs[-1].read_bytes().decode("utf-8", "replace") if logs else ""
            if text in log:
                return log
            time.sleep(0.2)
        raise AssertionError(f"{text!r} not in the run log")


def radio_buttons(shot: Path) -> list[tuple[int, int]]:
    """Centres of the radio buttons in a screenshot of the selection page, left to right and top to bottom:
    the only places on the page with a solid white disc (the names beside them are thin white strokes)."""
    w, h, px = _pixels(shot)

    def white(x: int, y: int) -> bool:
        i = (y * w + x) * 3
        return px[i] >= 250 and px[i + 1] >= 250 and px[i + 2] >= 250

    def disc_width(x: int, y: int) -> int:
        left, right = x, x
        while left > 0 and white(left - 1, y):
            left -= 1
        while right < w - 1 and white(right + 1, y):
            right += 1
        return right - left + 1

    found: list[tuple[int, int]] = []
    for y in range(100, h - 5):
        for x in range(w - 5):
            if all(white(x + dx, y + dy) for dy in range(5) for dx in range(5)) and disc_width(x + 2, y + 2) <= 11:
                if not any(abs(x + 2 - fx) <= 8 and abs(y + 2 - fy) <= 8 for fx, fy in found):
                    found.append((x + 2, y + 2))
    return sorted(found, key=lambda p: (p[1] // 10, p[0]))


def label_of(radio: tuple[int, int]) -> tuple[int, int]:
    """A point on the name beside a radio button (4 pixels to the right of the 13-pixel button)."""
    return radio[0] + 16, radio[1]


def dismiss_message(installer, title: str = WIZARD_TITLE) -> list[str]:
    """The texts of the message box the wizard shows, after pressing Enter on it."""
    installer.wait_window("#32770", title, timeout=20)
    texts = [text for cls, text, _ in installer.control_texts("#32770", title) if cls == "Static" and text]
    installer.xdotool("key", "Return")  # the box has the keyboard
    installer.wait_window_gone("#32770")
    return texts


def folder_state(folder: Path) -> list[tuple[str, int, int]]:
    return [(str(p.relative_to(folder)), p.stat().st_size, p.stat().st_mtime_ns) for p in sorted(folder.rglob("*"))]


def wait_top_level(installer, cls: str, timeout: float = 30) -> str:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for c, title, _ in installer.windows():
            if c == cls:
                return title
        time.sleep(0.2)
    raise AssertionError(f"no {cls} window; windows: {installer.windows()}")


def wait_no_process(installer, name: str, timeout: float = 30) -> None:
    """Waits until no process of that executable name runs (a running program's files cannot go)."""
    deadline = time.monotonic() + timeout
    while any(line.lower().endswith("\t" + name) for line in
              installer.wine.wine(str(installer.wine.sftool), "processes").stdout.splitlines()):
        assert time.monotonic() < deadline, f"{name} still runs"
        time.sleep(0.2)


def answer_cancel_question(installer, yes: bool) -> None:
    """Presses Yes or No on the cancel question by its accelerator, whatever language Wine speaks."""
    installer.wait_window("#32770", "Cancelar", timeout=20)
    texts = [text for cls, text, _ in installer.control_texts("#32770", "Cancelar") if cls == "Button"]
    wanted = ("Sim", "Yes") if yes else ("Não", "No")
    button = next(t for t in texts if t.replace("&", "") in wanted)
    box = installer.x_window("Cancelar")
    installer.xdotool("windowfocus", "--sync", box)
    installer.xdotool("key", "--window", box, f"alt+{button[button.index('&') + 1].lower()}")
    installer.wait_window_gone("#32770")


def largest_package(site: Path) -> str:
    """The package fetched first: the largest one."""
    return "/files/" + max((site / "files").iterdir(), key=lambda p: p.stat().st_size).name


def wait_all_but_largest(faults, site: Path) -> None:
    """Until every package but the stalled largest one has arrived, been unpacked and counted."""
    others = len(list((site / "files").iterdir())) - 1
    deadline = time.monotonic() + 30
    while sum(1 for e in faults.access_log() if e["path"].startswith("/files/") and e["done"]) < others:
        assert time.monotonic() < deadline, faults.access_log()
        time.sleep(0.2)
    time.sleep(1.5)  # the last packages unpacked and the next progress round painted


def temp_download_folder(installer) -> Path:
    return installer.wine.paths["APPDATA"] / "Ardentis" / "temp_install_stormfinch"


def record_browser(installer, tmp_path: Path) -> Path:
    """Makes Wine's browser launcher write the addresses it is asked to open into a file."""
    record = tmp_path / "opened.txt"
    script = tmp_path / "browser.sh"
    script.write_text(f'#!/bin/sh\nprintf "%s\\n" "$@" >> "{record}"\n')
    script.chmod(0o755)
    installer.wine.wine("reg", "add", r"HKCU\Software\Wine\WineBrowser", "/v", "Browsers", "/d", str(script), "/f")
    return record


def wait_file_text(path: Path, timeout: float = 30) -> str:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists() and path.read_text().strip():
            return path.read_text()
        time.sleep(0.2)
    raise AssertionError(f"{path} was not written")


# --- Flows -----------------------------------------------------------------------------------------------
def test_first_installation_from_install_to_open(installer, nginx, tmp_path):
    opened = record_browser(installer, tmp_path)
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    wizard.check_looks("page3")

    # The licence agreement opens in the browser; the wizard stays as it is.
    wizard.click(LICENCE_LINK)
    assert wait_file_text(opened).split() == [f"http://127.0.0.1:{nginx.port}/contrato-quillon"]
    assert wizard.visible_page() == "TFrameInstall"

    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameInstallDone")
    wizard.check_looks("page2")
    installed = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch" / "stormfinch.exe"
    assert installed.exists()

    wizard.click(OPEN_BUTTON)
    result = wizard.finish()
    assert result.exit_code == 0
    title = wait_top_level(installer, PRODUCT_CLASS)
    installer.close_window(PRODUCT_CLASS, title)
    wait_no_process(installer, "stormfinch.exe")
    log = result.log
    assert log.index("ProcessMessage: WM_SET_NEW_INSTALL") < log.index("ProcessMessage: WM_SETUP_DOWNLOADS")
    assert log.count("ProcessMessage: WM_RUN_QUILLON") == 1


def test_closing_during_progress_asks_and_yes_removes_the_unpack_folder(installer, site, faults):
    # The largest package never arrives, so the work stays at the same point for a while.
    faults.set_fault(largest_package(site), {"kind": "stall", "seconds": 120})
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameProgress")
    wait_all_but_largest(faults, site)
    wizard.check_looks("page5")
    assert temp_download_folder(installer).exists()

    wizard.click(CLOSE_IMAGE)
    answer_cancel_question(installer, yes=False)
    assert wizard.proc.poll() is None
    assert wizard.visible_page() == "TFrameProgress"

    wizard.keys("alt+F4")  # every way of closing asks
    answer_cancel_question(installer, yes=True)
    result = wizard.finish()
    assert result.exit_code == 0
    assert "TSetupForm.FormCloseQuery: UndoInstall" in result.log
    assert not temp_download_folder(installer).exists()
    assert not (installer.wine.paths["APPDATA"] / "Ardentis" / "packages_stormfinch").exists()
    assert not (installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch").exists()


def test_retry_page_after_the_version_server_failed_then_retry_completes(installer, faults):
    faults.set_fault(MANIFEST_PATH, servers.status(503))
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameRetry")
    wizard.check_looks("page6")

    faults.set_fault(MANIFEST_PATH)
    wizard.click(LOWER_BUTTON)
    wizard.wait_page("TFrameInstallDone")
    assert (installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch" / "stormfinch.exe").exists()
    # The completion page closes without a question.
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    result = wizard.finish()
    assert result.exit_code == 0
    assert "ProcessMessage: WM_RETRY" in result.log


class SettingsDialog:
    """The internet settings dialog, driven by points of its client area."""
    TITLE = "Configurações de Internet"
    CLIENT = (555, 299)
    SERVER_CHOICE = (56, 92)
    ADDRESS, PORT = (226, 119), (414, 119)
    AUTHENTICATION = (56, 198)
    USER, PASSWORD = (226, 221), (440, 223)
    OK, CANCEL = (420, 275), (501, 275)

    def __init__(self, installer) -> None:
        self.installer = installer
        installer.wait_window("TInternetConfig", self.TITLE, timeout=20)
        self.window = installer.x_window(self.TITLE)
        # Whatever frame Wine gives the window lies around the client area, with the caption above it.
        geometry = installer.xdotool("getwindowgeometry", "--shell", self.window)
        size = dict(line.split("=") for line in geometry.split())
        border = (int(size["WIDTH"]) - self.CLIENT[0]) // 2
        self.origin = (border, int(size["HEIGHT"]) - self.CLIENT[1] - border)

    def click(self, point: tuple[int, int]) -> None:
        x, y = point[0] + self.origin[0], point[1] + self.origin[1]
        self.installer.xdotool("mousemove", "--window", self.window, str(x), str(y), "click", "1")
        time.sleep(0.2)

    def enter(self, point: tuple[int, int], text: str) -> None:
        self.click(point)
        self.installer.xdotool("windowfocus", "--sync", self.window)
        self.installer.xdotool("type", "--window", self.window, text)

    def fields(self) -> list[str]:
        return [text for cls, text, _ in self.installer.control_texts("TInternetConfig", self.TITLE) if cls == "Edit"]

    def close_by(self, button: tuple[int, int]) -> None:
        self.click(button)
        self.installer.wait_window_gone("TInternetConfig")


def test_internet_settings_send_the_installation_through_an_authenticating_proxy(installer, site, nginx, tmp_path):
    with servers.Tinyproxy(0, tmp_path / "proxy", "sfuser", "sfpass") as proxy:
        wizard = Wizard(installer)
        wizard.wait_page("TFrameInstall")
        wizard.click(INTERNET_LINK)
        dialog = SettingsDialog(installer)
        # Wine's proxy setting is bypassed for the host it names, so the proxy goes by another name.
        dialog.click(dialog.SERVER_CHOICE)
        dialog.enter(dialog.ADDRESS, "localhost")
        dialog.enter(dialog.PORT, str(proxy.port))
        dialog.close_by(dialog.CANCEL)
        assert "Host=localhost" not in wizard.wait_log("WMSetProxyConfig: Host=")

        # What was entered is still there; OK hands it to the engine.
        wizard.click(INTERNET_LINK)
        dialog = SettingsDialog(installer)
        assert dialog.fields()[:2] == ["localhost", str(proxy.port)]
        dialog.click(dialog.AUTHENTICATION)
        dialog.enter(dialog.USER, "sfuser")
        dialog.enter(dialog.PASSWORD, "sfpass")
        dialog.close_by(dialog.OK)
        wizard.wait_log(f"WMSetProxyConfig: Host=localhost Port={proxy.port} Scheme= Username=True Password=True")

        wizard.click(INSTALL_BUTTON)
        wizard.wait_page("TFrameInstallDone")
        proxied = proxy.log()
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    assert wizard.finish().exit_code == 0
    assert_fetched_through(proxied, nginx, site)


def hold_open(installer, paths: list[Path]) -> subprocess.Popen:
    """Keeps files open without sharing, as a running product does, until the returned process is killed.
    A holder that could not open them yet (the previous case's holder, killed, may not have let go of its
    handles) is started again until the time-out, which then reports what the last one said."""
    deadline = time.monotonic() + 30
    while True:
        proc = installer.wine.popen(str(installer.wine.sftool), "hold", "300000",
                                    *(installer.wine.windows_path(p) for p in paths))
        while proc.poll() is None:
            proc.output_file.seek(0)
            if b"holding" in proc.output_file.read():
                return proc
            if time.monotonic() > deadline:
                proc.kill()
                raise AssertionError("the files were not opened: the holder said nothing")
            time.sleep(0.2)
        said = Wine.output(proc)
        assert time.monotonic() < deadline, f"the files were not opened: {said}"
        time.sleep(0.5)


def damaged_plugins(installer, site) -> dict[Path, str]:
    """After an installation: the plugin files, which the user damaged and a repair fetches again, with
    their published digests."""
    folder = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch"
    plugins = {folder / e["file"]: e["md5"] for e in manifest(site)["files"] if e["file"].startswith("bin/")}
    for path in plugins:
        path.write_bytes(b"damaged by the user")
    return plugins


@pytest.mark.parametrize("args, released, exit_code", [
    ([], True, 0),
    ([], False, 0),
    (["/update"], False, -1),  # nobody would answer an unattended run: it ends at once, with -1
], ids=["repair-released", "repair-still-held", "update-still-held"])
def test_files_in_use_during_repair_offer_one_retry(installer, nginx, site, args, released, exit_code):
    assert installer.run("/install").exit_code == 0
    # A running product holds all its plugins: the swap meets them, undoes itself and asks once, interactively.
    plugins = damaged_plugins(installer, site)
    holder = hold_open(installer, list(plugins))
    try:
        if args:
            result = installer.run(*args)
        else:
            wizard = Wizard(installer)
            wizard.wait_page("TFrameInstallUpdate")
            wizard.click(REPAIR_BUTTON)
            wizard.wait_page("TFrameSelectInstall")
            wizard.click(ONE_ROW_CONTINUE)  # nothing picked: the default installation
            wizard.wait_page("TFrameRetry")
            log = wizard.wait_log("TInstallerThread.SwapUpdateIntoPlace: Swap failed once. Retry allowed.")
            assert "SwapIntoPlace: rolled back; " in log
            assert all(path.read_bytes() == b"damaged by the user" for path in plugins)
            if released:
                holder.kill()
                holder.wait()
            wizard.click(LOWER_BUTTON)
            if released:
                wizard.wait_page("TFrameInstallDone")
                assert all(md5(path) == digest for path, digest in plugins.items())
                installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
            else:
                wizard.wait_page("TFrameAborted")
                wizard.click(LOWER_BUTTON)
            result = wizard.finish()
        if not released:
            assert all(path.read_bytes() == b"damaged by the user" for path in plugins)
    finally:
        holder.kill()
        holder.wait()
    assert result.exit_code == exit_code
    retries = result.log.count("TInstallerThread.SwapUpdateIntoPlace: Swap failed once. Retry allowed.")
    assert retries == (0 if args else 1)
    assert ("TInstallerThread.SwapUpdateIntoPlace: Swap failed again. Aborting..." in result.log) == (
        not args and not released)
    if args:
        assert "TInstallerThread.SwapUpdateIntoPlace: Swap failed: a file is in use. Ending the unattended run." in result.log


def test_a_damaged_package_is_fetched_again_until_the_retry_page(installer, site, nginx):
    package = site / "files" / largest_package(site).removeprefix("/files/")
    good = package.read_bytes()
    damaged = bytearray(good)
    damaged[len(damaged) // 2] ^= 0xFF
    package.write_bytes(bytes(damaged))
    # One download worker and one extraction worker ("/st") go through the same attempts.
    wizard = Wizard(installer, "/st")
    wizard.wait_page("TFrameInstall")
    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameRetry")
    fetched = [e for e in nginx.access_log() if e["path"] == "/files/" + package.name]
    assert len(fetched) == 3  # the attempts a download and its unpacking share

    package.write_bytes(good)
    wizard.click(LOWER_BUTTON)
    wizard.wait_page("TFrameInstallDone")
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    result = wizard.finish()
    assert result.exit_code == 0
    assert "TInstallerThread.WMSetupDownloads: Singlethreaded active (st param)" in result.log
    entry = next(e for e in manifest(site)["files"]
                 if e["md5"] == package.name)
    installed = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch" / entry["file"]
    assert md5(installed) == entry["md5"]


def install_until_the_retry_page(installer):
    """Presses the install button of the start page, waits for the retry page and closes the wizard."""
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameRetry")
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    return wizard.finish()


def rewrite_manifest(site: Path, change) -> None:
    site_manifest = manifest(site)
    change(site_manifest["files"])
    for name in ("pt-br", "pt-br_x64"):
        (site / MANIFEST_PATH.lstrip("/")).with_name(name).write_text(json.dumps(site_manifest))


@pytest.mark.parametrize("change, diagnostic", [
    (lambda files: files[0].update(md5="../../version/stormfinch/alpha/to/stable/pt-br"),
     '"md5" in "files"[0] ({file0}) is not 32 hexadecimal digits: ../../version/'),
    (lambda files: files[0].update(md5=files[0]["md5"][:31]), '"md5" in "files"[0] ({file0}) is not 32 hexadecimal'),
    (lambda files: files[1].update(file=files[0]["file"].upper()),
     '"file" in "files"[1] ({upper0}) names the same file as "files"[0] ({file0})'),
])
def test_a_refused_manifest_names_the_entry_and_fetches_no_package(installer, site, nginx, change, diagnostic):
    first = manifest(site)["files"][0]["file"]
    rewrite_manifest(site, change)
    result = install_until_the_retry_page(installer)
    expected = diagnostic.format(file0=first.replace("/", "\\"), upper0=first.upper().replace("/", "\\"))
    assert "Error getting quillon version info: Exception=Version manifest: " + expected in result.log, result.log
    assert not [e for e in nginx.access_log() if e["path"].startswith("/files/")]
    assert not (installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch").exists()


def test_newer_installer_diverts_install_to_the_update_page(installer, site, faults, tmp_path):
    (site / VERSION_TEXT).parent.mkdir(parents=True, exist_ok=True)
    (site / VERSION_TEXT).write_text("1.42")
    # The version text is fetched up to three times; the third answer counts.
    faults.set_fault("/" + VERSION_TEXT.as_posix(), servers.status(503), servers.status(503), servers.normal())
    opened = record_browser(installer, tmp_path)
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    log = wizard.wait_log("VerifyInstallerUpdate: Local=1.41 Server=1.42")
    assert log.count("StatusCode=503") == 2 and "StatusCode=200" in log

    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameUpdateInstaller")
    wizard.check_looks("page9")

    wizard.click(LOWER_BUTTON)
    result = wizard.finish()
    assert result.exit_code == 0
    assert wait_file_text(opened).split() == [f"http://127.0.0.1:{faults.port}/produtos/bin/davorizorida/Stormfinch.exe"]
    assert "WM_SET_NEW_INSTALL" not in result.log and "WM_SETUP_DOWNLOADS" not in result.log


def test_shortcut_failure_shows_the_aborted_page_with_the_identifier(installer, nginx):
    # A file where the start-menu folder of the shortcuts goes: the folder cannot be created.
    blocker = installer.wine.paths["PROGRAMS"] / "Ardentis"
    blocker.parent.mkdir(parents=True, exist_ok=True)
    blocker.write_text("in the way")
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    wizard.click(INSTALL_BUTTON)
    wizard.wait_page("TFrameAborted")
    wizard.check_looks("page7", masks=[IDENTIFIER_FIELD])
    log = wizard.wait_log("TSetupForm.WMSetupStatus: 10")
    assert "TInstallerThread.CreateShortcuts: Exception=" in log
    identifier = log.split("TInstallerThread.Execute: Identifier=")[1].split("\r\n")[0]
    assert wizard.field_text() == identifier

    wizard.click(LOWER_BUTTON)
    assert wizard.finish().exit_code == 0


def test_choice_page_when_an_installation_exists(installer, nginx):
    installer.add_installation("Stormfinch")
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstallUpdate")
    wizard.check_looks("page4")
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    assert wizard.finish().exit_code == 0


# The larger logo is decoded only on a scaled screen, yet a damaged one is found at start-up all the same.
@pytest.mark.parametrize("picture, where, replacement", [
    ("Logo.png", 0.0, b"\0" * 8),  # no PNG signature any more
    ("Logo@2x.png", 0.5, b"\xA5"),  # one byte changed halfway through
], ids=["logo-signature", "larger-logo-inside"])
def test_damaged_pictures_end_the_program_with_minus_one(installer, picture, where, replacement):
    damaged = installer.artifacts / "Stormfinch.exe"
    data = bytearray((BUILD / "Stormfinch.exe").read_bytes())
    original = (Path(__file__).resolve().parents[2] / "resources" / picture).read_bytes()
    at = data.find(original)
    assert at > 0
    at += int(len(original) * where)
    assert data[at:at + len(replacement)] != replacement
    data[at:at + len(replacement)] = replacement
    damaged.write_bytes(data)

    runner = Installer(installer.wine, installer.artifacts, exe=damaged)
    proc = runner.start()
    runner.wait_window("#32770", "Erro")
    texts = [text for cls, text, _ in runner.control_texts("#32770", "Erro")]
    assert "Arquivo Corrompido. Por favor, faça um novo download." in texts
    box = runner.x_window("Erro")
    runner.xdotool("windowfocus", "--sync", box)
    runner.xdotool("key", "--window", box, "Return")
    result = runner.finish(proc)
    assert result.exit_code == -1
    assert "TSetupForm.LoadImages: " in result.log


def test_ctrl_c_copies_the_machine_identifier(installer, nginx):
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    log = wizard.wait_log("TInstallerThread.Execute: Identifier=")
    machine = log.split("TInstallerThread.Execute: Identifier=")[1][:8]
    installer.xdotool("windowfocus", "--sync", wizard.window)
    installer.xdotool("key", "--window", wizard.window, "ctrl+c")
    time.sleep(0.5)
    assert x_clipboard_text(installer.wine.env["DISPLAY"]) == machine

    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    assert wizard.finish().exit_code == 0


# --- Side-by-side installations -------------------------------------------------------------------------
def test_new_named_installation_beside_the_default_one(installer, nginx):
    assert installer.run("/install").exit_code == 0
    default = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch"
    before = folder_state(default)

    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstallUpdate")
    wizard.click(NEW_INSTALL_BUTTON)
    wizard.wait_page("TFrameCreateInstall")
    wizard.check_looks("page1")

    wizard.click(NAME_CONTINUE)  # the field still shows the placeholder
    assert dismiss_message(installer) == ["Preencha o nome da instalação"]
    wizard.click_until_emptied(NAME_FIELD)
    wizard.keys("Return")  # an empty name is the default installation, which exists
    assert dismiss_message(installer) == ["O nome escolhido já foi utilizado"]
    # The field has the keyboard again once the message is gone.
    wizard.type("abc defghijklmnopq")
    wizard.keys("Return")
    assert dismiss_message(installer) == ["O nome não pode conter espaços"]
    wizard.keys("End", *["BackSpace"] * 14)
    wizard.wait_field_text("")
    # The name becomes a folder's name and a registry key: the characters that would climb out of the
    # company's folder, nest keys or be dropped by Windows are refused, and the page says which.
    for name in ("x\\..\\..", "a/b", "abc."):
        wizard.type(name)
        wizard.wait_field_text(name)
        wizard.keys("Return")
        assert dismiss_message(installer) == [BAD_NAME_MESSAGE]
        wizard.keys("End", *["BackSpace"] * 14)
        wizard.wait_field_text("")
    wizard.type("abcdefghijklmnopq")
    wizard.wait_field_text("abcdefghijklmn")  # 14 characters at most
    wizard.keys("Return")
    wizard.wait_page("TFrameInstallDone")
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    result = wizard.finish()
    assert result.exit_code == 0
    assert "WMSetInstallName: abcdefghijklmn - abcdefghijklmn" in result.log
    named = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch_abcdefghijklmn"
    assert (named / "stormfinch.exe").exists()
    assert installer.wine.reg_query(r"HKCU\Software\Ardentis\Stormfinch_abcdefghijklmn\1.0") is not None
    assert folder_state(default) == before


def test_repair_of_a_picked_installation_keeps_its_database(installer, nginx):
    assert installer.run("/install").exit_code == 0
    assert installer.run("/install", "abc").exit_code == 0
    default = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch"
    named = installer.wine.paths["APPDATA"] / "Ardentis" / "Stormfinch_abc"
    kept = named / "database" / "desktops" / "mine.dsk"
    kept.write_text("the user's own layout")
    before = folder_state(default)

    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstallUpdate")
    wizard.click(REPAIR_BUTTON)
    wizard.wait_page("TFrameSelectInstall")
    wizard.check_looks("page8")
    radios = radio_buttons(installer.screenshot("rows", WIZARD_TITLE))
    assert len(radios) == 2 and radios[0][1] == radios[1][1], radios  # Stormfinch, abc: one row
    wizard.click(label_of(radios[1]))
    wizard.click(ONE_ROW_CONTINUE)
    wizard.wait_page("TFrameInstallDone")
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    result = wizard.finish()
    assert result.exit_code == 0
    assert "WMSetInstallName: abc - abc" in result.log
    assert "Atualizando..." in result.log or "WMSetUpdateOnly" in result.log
    assert kept.read_text() == "the user's own layout"
    assert folder_state(default) == before


def test_continue_with_nothing_picked_waits_for_a_pick(installer, nginx):
    installer.add_installation("Stormfinch_a")
    installer.add_installation("Stormfinch_b")
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstallUpdate")
    wizard.click(REPAIR_BUTTON)
    wizard.wait_page("TFrameSelectInstall")
    radios = radio_buttons(installer.screenshot("rows", WIZARD_TITLE))
    assert len(radios) == 2, radios

    wizard.click(ONE_ROW_CONTINUE)
    wizard.click(label_of(radios[0]))  # picks "a" ...
    wizard.click(label_of(radios[0]))  # ... and leaves it again
    wizard.click(ONE_ROW_CONTINUE)
    time.sleep(1.5)
    assert wizard.visible_page() == "TFrameSelectInstall"
    assert "WM_SET_INSTALL_NAME" not in wizard.wait_log("SetVisibleFrame: Page=8")

    wizard.click(radios[1])
    wizard.click(ONE_ROW_CONTINUE)
    log = wizard.wait_log("WMSetInstallName: b - b")
    assert log.index("WM_SET_INSTALL_NAME") < log.index("WM_SET_UPDATE_ONLY") < log.index("WM_SETUP_DOWNLOADS")
    wizard.wait_page("TFrameInstallDone")
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    assert wizard.finish().exit_code == 0


def window_position(installer, window: str) -> tuple[int, int]:
    out = installer.xdotool("getwindowgeometry", "--shell", window)
    values = dict(line.split("=") for line in out.split())
    return int(values["X"]), int(values["Y"])


def drag(installer, window: str, start: tuple[int, int], by: tuple[int, int], button: str = "1") -> None:
    """Presses a button at a point of the window and moves the pointer by `by` in screen coordinates (the
    window may move under it) before releasing it."""
    left, top = window_position(installer, window)
    x, y = left + start[0], top + start[1]
    installer.xdotool("mousemove", str(x), str(y))
    installer.xdotool("mousedown", button)
    time.sleep(0.3)
    for step in range(1, 6):
        installer.xdotool("mousemove", str(x + by[0] * step // 5), str(y + by[1] * step // 5))
        time.sleep(0.1)
    installer.xdotool("mouseup", button)
    time.sleep(0.5)


def test_the_window_moves_by_its_background_with_the_left_button_only(installer):
    wizard = Wizard(installer)
    wizard.wait_page("TFrameInstall")
    start = window_position(installer, wizard.window)

    drag(installer, wizard.window, AGREEMENT_TEXT, (60, 40))
    assert window_position(installer, wizard.window) == start, "the sentence is no handle"
    drag(installer, wizard.window, (100, 60), (60, 40), button="3")
    assert window_position(installer, wizard.window) == start, "the right button moves nothing"
    drag(installer, wizard.window, (100, 60), (60, 40))
    assert window_position(installer, wizard.window) == (start[0] + 60, start[1] + 40)

    wizard.keys_that_end("alt+F4")  # the first page closes without a question
    assert wizard.finish().exit_code == 0


def test_unattended_progress_page_has_no_close_image(installer, site, faults):
    faults.set_fault(largest_package(site), {"kind": "stall", "seconds": 120})
    wizard = Wizard(installer, "/install")
    wizard.wait_page("TFrameProgress")
    wait_all_but_largest(faults, site)
    wizard.rest_pointer()
    shot = installer.screenshot("unattended", WIZARD_TITLE)
    close = (568, 2, 30, 30)
    # The same page as in an interactive run, but for the close image.
    assert mismatched_pixels(shot, REFERENCE / "page5.png", masks=[close]) <= 40
    assert mismatched_pixels(shot, REFERENCE / "page5.png") > 40


# --- A scaled screen -------------------------------------------------------------------------------------
@pytest.fixture(scope="module")
def scaled_wine():
    """A prefix of its own whose screen is scaled to 150 % (144 DPI), on a display of its own."""
    display = Display()
    wine = Wine(BUILD / "e2e-prefix-144dpi", display, dpi=144)
    yield wine
    wine.stop()
    display.stop()


def test_on_a_scaled_screen_the_wizard_is_its_design_drawn_larger(scaled_wine, nginx, request):
    """The program declares itself aware of each monitor's scale and draws its 96-DPI design at it: a
    window 1.5 times the size, crisp pages like the pictures, and the mouse finds the buttons where the
    design puts them."""
    installer = Installer(scaled_wine, ARTIFACTS / request.node.name)
    installer.clean()
    try:
        wizard = Wizard(installer)
        wizard.wait_page("TFrameInstall")
        geometry = dict(line.split("=") for line in installer.xdotool("getwindowgeometry", "--shell",
                                                                         wizard.window).split())
        assert (int(geometry["WIDTH"]), int(geometry["HEIGHT"])) == (900, 375)
        wizard.check_looks("page3")
        wizard.click(INSTALL_BUTTON)
        wizard.wait_page("TFrameInstallDone")
        wizard.check_looks("page2")
        installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
        assert wizard.finish().exit_code == 0
    finally:
        installer.stop_all()
        installer.keep_logs()
