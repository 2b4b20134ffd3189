"""The include order of src/: a folder includes only its own headers and those of the folders that its
row of src/README.md names under "may include". That table is the one place where the layers are
written down; this check reads it, so a change of layers is a change of that table.

    include_order.py SRC_DIR      check the tree; names every include that breaks the order
    include_order.py --self-test  shows that the check catches an upward include and a missing row

Exit code 0 when the tree keeps the order, 1 otherwise (each fault on a line "path:line: ...").
"""
from __future__ import annotations

import re
import sys
import tempfile
from pathlib import Path

ROW = re.compile(r"^\|\s*`(?P<folder>[a-z]+)`\s*\|(?P<what>[^|]*)\|(?P<may>[^|]*)\|\s*$")
FOLDER = re.compile(r"`([a-z]+)`")
INCLUDE = re.compile(r'^\s*#\s*include\s+"(?P<path>[^"]+)"')
SOURCES = (".h", ".cpp")


def read_layers(readme: Path) -> tuple[dict[str, set[str]], list[str]]:
    """The "may include" folders of every folder in the README's table, and the faults of the table."""
    layers: dict[str, set[str]] = {}
    faults: list[str] = []
    for number, line in enumerate(readme.read_text(encoding="utf-8").splitlines(), 1):
        row = ROW.match(line)
        if not row:
            continue
        folder = row["folder"]
        if folder in layers:
            faults.append(f"{readme}:{number}: `{folder}` has a second row")
        layers[folder] = set(FOLDER.findall(row["may"]))
    for folder, below in layers.items():
        for name in sorted(below - layers.keys()):
            faults.append(f"{readme}: `{folder}` may include `{name}`, which has no row")
    faults += cycle_faults(readme, layers)
    return layers, faults


def cycle_faults(readme: Path, layers: dict[str, set[str]]) -> list[str]:
    """Layers are an order: a folder must not reach itself through the folders it may include."""
    faults = []
    for start in sorted(layers):
        seen: set[str] = set()
        todo = list(layers[start])
        while todo:
            folder = todo.pop()
            if folder == start:
                faults.append(f"{readme}: `{start}` reaches itself through the folders it may include")
                break
            if folder not in seen:
                seen.add(folder)
                todo += layers.get(folder, ())
    return faults


def check(src: Path) -> list[str]:
    readme = src / "README.md"
    if not readme.is_file():
        return [f"{readme}: missing; it holds the table of layers"]
    layers, faults = read_layers(readme)
    folders = sorted(p.name for p in src.iterdir() if p.is_dir())
    for folder in folders:
        if folder not in layers:
            faults.append(f"{src / folder}: no row in {readme.name}; give the folder its place among the layers")
    for path in sorted(p for p in src.rglob("*") if p.suffix in SOURCES):
        folder = path.relative_to(src).parts[0]
        allowed = layers.get(folder, set()) | {folder}
        for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            include = INCLUDE.match(line)
            if not include:
                continue
            target = include["path"].split("/")[0]
            # Headers outside src/ (the build's generated ones) are not part of any layer.
            if "/" not in include["path"] or target not in folders or target in allowed:
                continue
            faults.append(f"{path.relative_to(src.parent)}:{number}: {folder}/ includes \"{include['path']}\", "
                          f"but {folder}/ may include only {', '.join(sorted(allowed))} ({readme.name})")
    return faults


def self_test() -> int:
    """A small tree that breaks the order twice: the check must name both places and fail."""
    with tempfile.TemporaryDirectory() as temp:
        src = Path(temp) / "src"
        for folder in ("low", "high", "stray"):
            (src / folder).mkdir(parents=True)
        (src / "README.md").write_text(
            "| folder | what | may include |\n|---|---|---|\n"
            "| `low` | the bottom | nothing |\n| `high` | above it | `low` |\n", encoding="utf-8")
        (src / "high" / "A.cpp").write_text('#include "low/B.h"\n#include <vector>\n', encoding="utf-8")
        (src / "low" / "B.h").write_text('#pragma once\n#include "sf_config.h"\n\n#include "high/A.h"\n',
                                         encoding="utf-8")
        faults = check(src)
    expected = ['src/low/B.h:4: low/ includes "high/A.h"', "stray: no row in README.md"]
    missing = [e for e in expected if not any(e in fault for fault in faults)]
    unexpected = [f for f in faults if not any(e in f for e in expected)]
    for fault in faults:
        print(fault)
    if missing or unexpected:
        print(f"self-test failed: missing {missing}, unexpected {unexpected}")
        return 1
    print("self-test: both faults named")
    return 0


def main(argv: list[str]) -> int:
    if argv == ["--self-test"]:
        return self_test()
    if len(argv) != 1:
        print(__doc__)
        return 2
    faults = check(Path(argv[0]).resolve())
    for fault in faults:
        print(fault)
    if faults:
        print(f"include order: {len(faults)} fault(s); the layers are in src/README.md")
        return 1
    print("include order: every include of src/ keeps the layers of src/README.md")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
