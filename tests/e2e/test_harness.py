"""The harness's own guard: it runs only programs whose compiled-in addresses are on this machine."""
from __future__ import annotations

import pytest

from harness import BUILD, compiled_addresses, refuse_unless_loopback


def program(tmp_path, *addresses: str):
    """A file laid out as a program holds its texts: UTF-16 strings among other bytes."""
    path = tmp_path / "program.exe"
    path.write_bytes(b"MZ\0\0" + b"\0\0".join(a.encode("utf-16-le") for a in addresses) + b"\0\0http://x\0")
    return path


@pytest.mark.parametrize("addresses, refused", [
    (["http://127.0.0.1:18480", "https://127.0.0.1:18443/software/error"], []),
    (["http://localhost:8080/produtos/bin/newquillon/"], []),
    (["http://127.0.0.1:18480", "https://gateway.ardentis.com.br/software/error"],
     ["https://gateway.ardentis.com.br/software/error"]),
    (["http://127.0.0.1.example.com/"], ["http://127.0.0.1.example.com/"]),
], ids=["loopback", "localhost", "production-error-endpoint", "look-alike-host"])
def test_programs_built_for_other_hosts_are_refused(tmp_path, addresses, refused):
    exe = program(tmp_path, *addresses)
    assert compiled_addresses(exe) == sorted(addresses)
    if not refused:
        refuse_unless_loopback(exe)
        return
    with pytest.raises(ValueError) as error:
        refuse_unless_loopback(exe)
    assert all(a in str(error.value) for a in refused) and "scripts/build.sh" in str(error.value)


def test_a_file_without_addresses_is_refused(tmp_path):
    with pytest.raises(ValueError, match="no compiled-in server addresses"):
        refuse_unless_loopback(program(tmp_path))


def test_the_build_under_test_is_a_loopback_build():
    assert compiled_addresses(BUILD / "Stormfinch.exe")
    refuse_unless_loopback(BUILD / "Stormfinch.exe")
