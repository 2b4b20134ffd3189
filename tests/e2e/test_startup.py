"""Start-up, run log, help window and single instance, on the real executable under Wine."""
from __future__ import annotations

import re
import subprocess
import time

import pytest

from harness import LOG_LINE

HELP_CLASS, HELP_TITLE = "THelpForm", "Stormfinch - Ajuda"
WIZARD_CLASS, WIZARD_TITLE = "TSetupForm", "Stormfinch"

PORTUGUESE_HELP = (
    "Modo de uso:\r\n"
    "Stormfinch.exe /install [nome]\r\n"
    "Stormfinch.exe /update [nome]\r\n"
    "Stormfinch.exe /st - Single threaded\r\n"
    "Stormfinch.exe /? - Exibe esta ajuda\r\n"
    "\r\n"
    "[nome] é um identificador opcional que não pode conter espaços.\r\n"
    "Ele serve para que seja possivel ter mais do que uma instalação do Stormfinch na mesma máquina.\r\n"
    "\r\n"
    "Valor de retorno:\r\n"
    "\t 0 -> Instalação foi concluida com sucesso.\r\n"
    "\t 1 -> Já existe uma instalação com este nome (somente com /install).\r\n"
    "\t 2 -> Não foi encontrada uma instalação com o nome selecionado (somente com atualizar/reparar).\r\n"
    "\t 3 -> O Stormfinch está em execução e precisa ser fechado antes de ser feita alguma alteração no sistema.\r\n"
    "\t 4 -> Ocorreram mais de 3 falhas ao tentar efetuar o download dos arquivos.\r\n"
    "\t-1 -> Ocorreu algum erro inesperado."
)


def press_return_until_closed(installer, cls: str, title: str, timeout: float = 30) -> None:
    """Presses Enter on a window until it is gone: without a window manager, a key sent while Wine is
    still giving the window the keyboard can be lost."""
    window = installer.x_window(title)
    deadline = time.monotonic() + timeout
    while any(c == cls and t == title for c, t, _ in installer.windows()):
        assert time.monotonic() < deadline, f"{title} stayed open"
        try:
            installer.xdotool("windowfocus", "--sync", window)
            installer.xdotool("key", "--window", window, "Return")
        except subprocess.CalledProcessError:
            pass  # the window went away in between
        time.sleep(1)


@pytest.mark.parametrize("args, close_by", [
    (["/?"], "ok-button"),
    (["/install", "my", "name"], "close-box"),
    (["/st", "abc"], "ok-button"),
])
def test_help_window_shows_the_options_and_exits_with_zero(installer, args, close_by):
    proc = installer.start(*args)
    installer.wait_window(HELP_CLASS, HELP_TITLE)
    controls = installer.control_texts(HELP_CLASS, HELP_TITLE)
    assert ("Edit", PORTUGUESE_HELP, True) in controls
    assert ("Button", "OK", True) in controls
    installer.screenshot("help", HELP_TITLE)
    assert not any(c == WIZARD_CLASS for c, _, _ in installer.windows())

    if close_by == "ok-button":
        press_return_until_closed(installer, HELP_CLASS, HELP_TITLE)
    else:
        installer.close_window(HELP_CLASS, HELP_TITLE)
    result = installer.finish(proc)
    assert result.exit_code == 0
    assert not result.timed_out


def test_normal_start_writes_the_run_log(installer):
    proc = installer.start()
    installer.wait_window(WIZARD_CLASS, WIZARD_TITLE)
    installer.screenshot("wizard", WIZARD_TITLE)
    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    result = installer.finish(proc)
    assert result.exit_code == 0

    assert re.fullmatch(r"Stormfinch \d\d-\d\d-\d{4}_\d\d-\d\d-\d\d\.log", result.log_path.name)
    raw = result.log_path.read_bytes()
    assert not raw.startswith(b"\xef\xbb\xbf"), "no byte-order mark"
    lines = raw.decode("utf-8").split("\r\n")
    assert lines[-1] == "" and len(lines) > 1
    for line in lines[:-1]:
        assert LOG_LINE.match(line), line
    texts = [line[14:] for line in lines[:-1]]
    assert any(re.fullmatch(r"LogU\.AppendLogSystemDiag : Espaço Livre em Disco= [\d.,\u00a0 ]+ MB", t) for t in texts)
    assert "LogU.AppendLogSystemDiag : Usando Ambiente Emilado (Wine) = Sim" in texts
    # The engine's start: its identifier, the disk status (drive lines, or the failure line where WMI
    # has no answer, as under Wine), the system.
    assert any(re.fullmatch(r"TInstallerThread\.Execute: Identifier=[0-9A-F]{8}_\d\d-\d\d-\d\d-\d\d", t) for t in texts)
    disk = texts.index("Checking Disk Status...")
    assert texts[disk + 1].startswith(" ") or texts[disk + 1].startswith(
        "LogDiskStatus: Error getting disk info. Exception=")
    assert any(t.startswith("TInstallerThread.Execute: OS=Windows") for t in texts)


def test_a_second_start_brings_the_first_forward_and_exits_with_zero(installer):
    first = installer.start()
    installer.wait_window(WIZARD_CLASS, WIZARD_TITLE)
    time.sleep(1.1)  # a second later, so the second run log gets a name of its own
    second = installer.run()
    assert second.exit_code == 0
    assert len(second.logs) == 2
    assert second.logs[-1].read_bytes() == b""
    assert [c for c, _, _ in installer.windows()].count(WIZARD_CLASS) == 1

    installer.close_window(WIZARD_CLASS, WIZARD_TITLE)
    assert installer.finish(first).exit_code == 0
