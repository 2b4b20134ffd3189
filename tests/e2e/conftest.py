"""Fixtures of the end-to-end suite. See harness.py for the pieces."""
from __future__ import annotations

import re

import pytest

from harness import ARTIFACTS, BUILD, Display, Installer, Wine


def pytest_configure(config):
    if not (BUILD / "Stormfinch.exe").exists():
        raise pytest.UsageError(f"{BUILD / 'Stormfinch.exe'} is missing: build the Windows tree first")


@pytest.fixture(scope="session")
def display():
    d = Display()
    yield d
    d.stop()


@pytest.fixture(scope="session")
def wine(display):
    w = Wine(BUILD / "e2e-prefix", display)
    yield w
    w.stop()


@pytest.fixture
def installer(wine, request):
    """A clean machine for each test: no installation, no shortcuts, no run logs."""
    name = re.sub(r"[^A-Za-z0-9_.-]+", "_", request.node.name)
    inst = Installer(wine, ARTIFACTS / name)
    inst.clean()
    yield inst
    inst.stop_all()
