"""The end-to-end harness: a Wine prefix under Xvfb in which the real Stormfinch.exe runs.

Builds nothing. It expects the Windows tree (SF_BUILD_DIR, default build/win) to hold Stormfinch.exe and
tests/tools/sftool.exe, creates a fresh prefix once per test run, and stops every process it started.
"""
from __future__ import annotations

import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import urllib.parse
from contextlib import contextmanager
from dataclasses import dataclass, field
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("SF_BUILD_DIR", REPO / "build" / "win")).resolve()
ARTIFACTS = Path(os.environ.get("SF_E2E_ARTIFACTS", BUILD / "e2e-artifacts")).resolve()
PREFIX_SCRIPT = REPO / "scripts" / "wine-prefix.sh"


LOOPBACK_HOSTS = {"127.0.0.1", "localhost", "::1"}


def compiled_addresses(exe: Path) -> list[str]:
    """The web addresses compiled into a program: its UTF-16 texts that begin with http:// or https://."""
    data = Path(exe).read_bytes()
    found = re.findall(rb"h\0t\0t\0p\0(?:s\0)?:\0/\0/\0(?:[\x21-\x7e]\0)+", data)
    return sorted({text.decode("utf-16-le") for text in found})


def refuse_unless_loopback(exe: Path) -> None:
    """Raises ValueError unless every address compiled into the program is on this machine: a program
    built with the maker's hosts (a plain configure) would send the tests' requests and error reports
    there."""
    addresses = compiled_addresses(exe)
    if not addresses:
        raise ValueError(f"{exe}: no compiled-in server addresses found; is it the installer?")
    elsewhere = [a for a in addresses if urllib.parse.urlsplit(a).hostname not in LOOPBACK_HOSTS]
    if elsewhere:
        raise ValueError(f"{exe} is built to reach other machines ({', '.join(elsewhere)}): the tests would send "
                         "their requests and error reports there. Build it with scripts/build.sh, which compiles "
                         "loopback addresses in (ports from scripts/test-ports.sh).")


def file_version(exe: Path) -> tuple[str, str]:
    """The file and product versions of a program's version resource (its fixed part), as a.b.c.d."""
    data = Path(exe).read_bytes()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise ValueError(f"{exe} has no version resource")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
    text = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"  # noqa: E731
    return text(file_ms, file_ls), text(product_ms, product_ls)


def free_display() -> int:
    n = 140
    while Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists():
        n += 1
    return n


class Display:
    """One Xvfb for the whole run."""

    def __init__(self) -> None:
        self.number = free_display()
        self.name = f":{self.number}"
        self.proc = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        socket = Path(f"/tmp/.X11-unix/X{self.number}")
        for _ in range(200):
            if socket.exists():
                return
            time.sleep(0.05)
        raise RuntimeError(f"Xvfb {self.name} did not start")

    def stop(self) -> None:
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


@dataclass
class RunResult:
    exit_code: int | None
    timed_out: bool
    elapsed_ms: int | None
    stdout: str
    log: str
    log_path: Path | None
    logs: list[Path] = field(default_factory=list)


class Wine:
    """A Wine prefix with a persistent wineserver, detached from pytest's output. Its screen is scaled to
    dpi pixels per inch (Wine's LogPixels; 96 is unscaled)."""

    def __init__(self, prefix: Path, display: Display, dpi: int = 96) -> None:
        self.prefix = prefix
        self.display = display
        self.dpi = dpi
        if prefix.exists():
            subprocess.run([str(PREFIX_SCRIPT), "stop", str(prefix)], check=False)
            shutil.rmtree(prefix)
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", DISPLAY=display.name,
                        WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d", SF_WINE_DPI=str(dpi))
        # Wine's WinHTTP would route the installer's requests through a proxy from the environment.
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"):
            self.env.pop(name, None)
        subprocess.run([str(PREFIX_SCRIPT), "start", str(prefix)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=300)
        # Nothing a test writes or deletes in the profile may reach the machine's home folder.
        links = [p for p in (prefix / "drive_c" / "users").rglob("*") if p.is_symlink()]
        if links:
            raise RuntimeError(f"the prefix's profile links outside it: {links}")
        self.sftool = BUILD / "tests" / "tools" / "sftool.exe"
        # Wine closes the desktop once no process uses it, between tests that run nothing in the prefix,
        # and brings it back slowly for the next program that looks at windows.
        self.desktop_user = self.popen(str(self.sftool), "desktop", str(24 * 3600 * 1000))
        self.paths = self._folders()

    def stop(self) -> None:
        self.desktop_user.kill()
        self.desktop_user.wait()
        self.desktop_user.output_file.close()
        subprocess.run([str(PREFIX_SCRIPT), "stop", str(self.prefix)], env=self.env, check=False)

    # Paths ---------------------------------------------------------------------------------------
    def unix_path(self, windows_path: str) -> Path:
        m = re.match(r"^([A-Za-z]):\\?(.*)$", windows_path)
        if not m:
            raise ValueError(windows_path)
        drive, rest = m.group(1).lower(), m.group(2).replace("\\", "/")
        if drive == "z":
            return Path("/" + rest)
        return self.prefix / f"drive_{drive}" / rest

    @staticmethod
    def windows_path(path: Path) -> str:
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")

    def _folders(self) -> dict[str, Path]:
        out = self.wine(str(self.sftool), "paths").stdout
        folders = {}
        for line in out.splitlines():
            key, _, value = line.partition("=")
            if value:
                folders[key] = self.unix_path(value.rstrip("\\"))
        return folders

    # Processes -----------------------------------------------------------------------------------
    # Output goes to files, never to pipes: a Wine process may start a background process (the
    # wineserver or a service, when they had to be restarted) that inherits its output handles and
    # outlives it, and reading a pipe to its end would then wait for that process instead.
    def wine(self, *args: str, timeout: float = 120, check: bool = True) -> subprocess.CompletedProcess:
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen(["wine", *args], env=self.env, stdout=out, stderr=err,
                                    stdin=subprocess.DEVNULL)
            try:
                proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                raise
            result = subprocess.CompletedProcess(proc.args, proc.returncode, _read(out), _read(err))
        if check:
            result.check_returncode()
        return result

    def popen(self, *args: str, env: dict[str, str] | None = None) -> subprocess.Popen:
        """A Wine process whose output is read with `output(proc)` once it has ended; `env` adds to the
        environment, which the Windows programs it starts inherit."""
        out = tempfile.TemporaryFile()
        proc = subprocess.Popen(["wine", *args], env=dict(self.env, **(env or {})), stdout=out,
                                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        proc.output_file = out
        return proc

    @staticmethod
    def output(proc: subprocess.Popen) -> str:
        with proc.output_file as out:
            return _read(out)

    def reg_query(self, key: str, value: str | None = None) -> dict[str, str] | None:
        """Values of a key as {name: data} through `reg query`; None when the key does not exist."""
        args = ["reg", "query", key] + (["/v", value] if value else [])
        proc = self.wine(*args, check=False)
        if proc.returncode != 0:
            return None
        values = {}
        for line in proc.stdout.splitlines():
            m = re.match(r"^\s{4}(.+?)\s{4}(REG_\w+)\s{4}(.*)$", line)
            if m:
                values[m.group(1)] = m.group(3)
        return values

    def reg_tree(self, key: str) -> str:
        """Everything below a key as `reg query /s` prints it ('' when the key does not exist)."""
        proc = self.wine("reg", "query", key, "/s", check=False)
        return proc.stdout if proc.returncode == 0 else ""

    def reg_subkeys(self, key: str) -> list[str]:
        proc = self.wine("reg", "query", key, check=False)
        # reg prints subkeys with the root spelt out.
        full = "HKEY_CURRENT_USER" + key[4:] if key.upper().startswith("HKCU\\") else key
        prefix = full.rstrip("\\").upper() + "\\"
        return [line.strip()[len(prefix):] for line in proc.stdout.splitlines()
                if line.strip().upper().startswith(prefix)]


@contextmanager
def wine_session(prefix: Path):
    """A display and a fresh prefix for a script (the demo, a benchmark), both stopped at the end."""
    display = Display()
    wine = None
    try:
        wine = Wine(prefix, display)
        yield wine
    finally:
        if wine:
            wine.stop()
        display.stop()


class Installer:
    """Runs the real Stormfinch.exe in the prefix and collects what a test checks."""

    def __init__(self, wine: Wine, artifacts: Path, exe: Path | None = None) -> None:
        self.wine = wine
        self.exe = exe or BUILD / "Stormfinch.exe"
        self.artifacts = artifacts
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self._running: list[subprocess.Popen] = []

    def clean(self) -> None:
        self.wine.wine(str(self.wine.sftool), "clean")

    def keep_logs(self) -> None:
        """Copies the run logs next to the test's screenshots, before the next test cleans them away."""
        for log in self.logs():
            shutil.copy2(log, self.artifacts / log.name)

    def logs(self) -> list[Path]:
        return sorted(self.wine.paths["TEMP"].glob("Stormfinch *.log"), key=lambda p: p.stat().st_mtime)

    def start(self, *args: str, timeout_ms: int = 120_000, env: dict[str, str] | None = None) -> subprocess.Popen:
        proc = self.wine.popen(str(self.wine.sftool), "run", str(timeout_ms),
                               self.wine.windows_path(self.exe), *args, env=env)
        self._running.append(proc)
        return proc

    def finish(self, proc: subprocess.Popen, timeout: float = 180) -> RunResult:
        proc.wait(timeout=timeout)
        self._running.remove(proc)
        stdout = Wine.output(proc)
        code = None
        m = re.search(r"^exit=(-?\d+)$", stdout, re.M)
        if m:
            code = int(m.group(1))
        elapsed = re.search(r"^elapsed=(\d+)$", stdout, re.M)
        logs = self.logs()
        log_path = logs[-1] if logs else None
        log = log_path.read_bytes().decode("utf-8") if log_path else ""
        return RunResult(code, "timeout" in stdout.splitlines(), int(elapsed.group(1)) if elapsed else None,
                         stdout, log, log_path, logs)

    def run(self, *args: str, timeout: float = 120) -> RunResult:
        return self.finish(self.start(*args, timeout_ms=int(timeout * 1000)), timeout + 60)

    # Machine state ---------------------------------------------------------------------------------
    def appdata_windows(self) -> str:
        out = self.wine.wine(str(self.wine.sftool), "paths").stdout
        return re.search(r"^APPDATA=(.*)$", out, re.M).group(1).strip()

    def add_installation(self, key: str, folder_exists: bool = True) -> Path:
        """Registers an installation the way the installer records one; returns its folder."""
        windows_dir = f"{self.appdata_windows()}\\Ardentis\\{key}\\"
        self.wine.wine("reg", "add", f"HKCU\\Software\\Ardentis\\{key}\\1.0", "/v", "Dir", "/d", windows_dir, "/f")
        folder = self.wine.unix_path(windows_dir)
        if folder_exists:
            folder.mkdir(parents=True, exist_ok=True)
        return folder

    def state(self) -> tuple[str, str, list[tuple[str, int, int]]]:
        """Registry and files the installer may touch, for before/after comparisons."""
        files = []
        root = self.wine.paths["APPDATA"] / "Ardentis"
        if root.exists():
            for p in sorted(root.rglob("*")):
                st = p.stat()
                files.append((str(p.relative_to(root)), st.st_size, st.st_mtime_ns))
        return (self.wine.reg_tree("HKCU\\Software\\Ardentis"),
                self.wine.reg_tree("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"), files)

    # The UI --------------------------------------------------------------------------------------
    def windows(self) -> list[tuple[str, str, int]]:
        rows = []
        for line in self.wine.wine(str(self.wine.sftool), "windows").stdout.splitlines():
            parts = line.split("\t")
            if len(parts) == 3:
                rows.append((parts[0], parts[1], int(parts[2])))
        return rows

    def wait_window(self, cls: str, title: str, timeout: float = 60) -> None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(c == cls and t == title for c, t, _ in self.windows()):
                return
            time.sleep(0.2)
        raise AssertionError(f"no window {cls!r} {title!r}; windows: {self.windows()}")

    def wait_window_gone(self, cls: str, timeout: float = 20) -> None:
        """Until no top-level window of that class is shown."""
        deadline = time.monotonic() + timeout
        while any(c == cls for c, _, _ in self.windows()):
            assert time.monotonic() < deadline, f"a {cls!r} window stayed open"
            time.sleep(0.2)

    def control_texts(self, cls: str, title: str) -> list[tuple[str, str, bool]]:
        out = self.wine.wine(str(self.wine.sftool), "texts", cls, title, check=False).stdout
        rows = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) == 3:
                rows.append((parts[0], unescape(parts[1]), parts[2] == "visible"))
        return rows

    def close_window(self, cls: str, title: str) -> None:
        self.wine.wine(str(self.wine.sftool), "close", cls, title)

    def x_window(self, title: str) -> str:
        proc = subprocess.run(["xdotool", "search", "--name", f"^{re.escape(title)}$"],
                              env=self.wine.env, capture_output=True, text=True, timeout=30)
        ids = proc.stdout.split()
        if not ids:
            raise AssertionError(f"X window {title!r} not found")
        return ids[-1]

    def xdotool(self, *args: str) -> str:
        return subprocess.run(["xdotool", *args], env=self.wine.env, capture_output=True, text=True,
                              timeout=30, check=True).stdout

    def screenshot(self, name: str, title: str | None = None) -> Path:
        target = self.artifacts / f"{name}.png"
        window = ["-window", self.x_window(title)] if title else ["-window", "root"]
        subprocess.run(["import", *window, str(target)], env=self.wine.env, check=True, timeout=30,
                       capture_output=True)
        return target

    def kill(self, proc: subprocess.Popen) -> RunResult:
        """Ends the running installer from outside, as the task manager does (TerminateProcess), and
        waits for its launcher."""
        self.wine.wine("taskkill", "/f", "/im", self.exe.name)
        return self.finish(proc, timeout=60)

    def stop_all(self) -> None:
        """Ends the launchers, and the programs they started, which outlive them: a wizard left over
        would answer the next test's start. The image name also covers a product the wizard started."""
        for proc in list(self._running):
            proc.kill()
            proc.wait()
            proc.output_file.close()
        self._running.clear()
        self.wine.wine("taskkill", "/f", "/im", self.exe.name, check=False)


WIZARD_CLASS, WIZARD_TITLE = "TSetupForm", "Stormfinch"
RESTING_POINT = (596, 246)  # plain background: nothing there reacts to the pointer


class Wizard:
    """The running wizard, seen through its window and its child windows. Points are given in the
    window's 96-DPI design; on a scaled screen they lie further out."""

    def __init__(self, installer: Installer, *args: str) -> None:
        self.installer = installer
        self.scale = installer.wine.dpi / 96
        self.proc = installer.start(*args)
        installer.wait_window(WIZARD_CLASS, WIZARD_TITLE)
        self.window = installer.x_window(WIZARD_TITLE)

    def at_scale(self, point: tuple[int, int]) -> tuple[str, str]:
        return str(round(point[0] * self.scale)), str(round(point[1] * self.scale))

    def visible_page(self) -> str | None:
        for cls, text, visible in self.installer.control_texts(WIZARD_CLASS, WIZARD_TITLE):
            if cls == "TGraphicPanel" and visible:
                return text
        return None

    def wait_page(self, name: str, timeout: float = 60) -> None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.visible_page() == name:
                return
            time.sleep(0.2)
        raise AssertionError(f"page {name} not shown; showing {self.visible_page()}")

    def click(self, point: tuple[int, int], button: str = "1") -> None:
        self.installer.xdotool("mousemove", "--window", self.window, *self.at_scale(point), "click", button)

    def rest_pointer(self) -> None:
        self.installer.xdotool("mousemove", "--window", self.window, *self.at_scale(RESTING_POINT))
        time.sleep(0.3)

    def painted_screenshot(self, name: str, timeout: float = 10) -> Path:
        """A screenshot once the page shows: a window that has not painted yet is one blank colour."""
        deadline = time.monotonic() + timeout
        while True:
            shot = self.installer.screenshot(name, WIZARD_TITLE)
            colours = subprocess.run(["convert", str(shot), "-format", "%k", "info:"], capture_output=True,
                                     text=True, check=True).stdout
            if int(colours) > 16:
                return shot
            assert time.monotonic() < deadline, f"the window stayed blank ({shot})"
            time.sleep(0.1)

    def finish(self, timeout: float = 60) -> RunResult:
        return self.installer.finish(self.proc, timeout)


def _read(file) -> str:
    file.seek(0)
    return file.read().decode("utf-8", "replace")


def unescape(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


LOG_LINE = re.compile(r"^\d\d:\d\d:\d\d\.\d{3}: ")
