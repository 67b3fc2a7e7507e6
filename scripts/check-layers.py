#!/usr/bin/env python3
"""Fails on an include that points up the stack of src/, or on a display
header below src/platform/gui.

The stack, bottom first: platform, settings, protocol, msgwin, mainwin, app.
A file may include its own directory and any directory below it. platform/gui
belongs to platform but is the only part of it that may use a display, so
nothing else in platform includes it. Below platform/gui (platform, settings,
protocol) no header of Qt Gui, Widgets or Svg may appear: those libraries
link QtCore only and run their tests without a display.

    scripts/check-layers.py [src-dir]
"""
import pathlib
import re
import subprocess
import sys

STACK = ["platform", "settings", "protocol", "msgwin", "mainwin", "app"]
DISPLAY_MODULES = ["QtGui", "QtWidgets", "QtSvg", "QtSvgWidgets", "QtOpenGL", "QtOpenGLWidgets"]

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def qt_headers():
    """The class headers (<QWidget>, <QFont> …) of the display modules."""
    try:
        root = subprocess.run(["qtpaths6", "--query", "QT_INSTALL_HEADERS"],
                              capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        sys.exit("check-layers: qtpaths6 not found (qt6-base-dev)")
    names = set()
    for module in DISPLAY_MODULES:
        folder = pathlib.Path(root, module)
        if folder.is_dir():
            names.update(p.name for p in folder.iterdir() if not p.suffix)
    if not names:
        sys.exit(f"check-layers: no Qt display headers under {root}")
    return names


def layer_of(path):
    """(rank, is platform/gui) of a file or include path relative to src."""
    parts = pathlib.PurePosixPath(path).parts
    if not parts or parts[0] not in STACK:
        return None
    return STACK.index(parts[0]), parts[:2] == ("platform", "gui")


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src")
    display = qt_headers()
    faults = []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".h", ".cpp"):
            continue
        relative = file.relative_to(src).as_posix()
        own = layer_of(relative)
        if own is None:
            continue
        rank, gui = own
        for number, line in enumerate(file.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quote, target = match.groups()
            where = f"{relative}:{number}: {target}"
            if quote == '"':
                other = layer_of(target)
                if other is None:
                    continue
                if other[0] > rank:
                    faults.append(f"{where}: points up from {STACK[rank]} to {STACK[other[0]]}")
                elif other[1] and rank == 0 and not gui:
                    faults.append(f"{where}: platform includes platform/gui")
            elif rank <= STACK.index("protocol") and not gui:
                module = target.split("/")[0]
                if target in display or module in DISPLAY_MODULES:
                    faults.append(f"{where}: display header below platform/gui")
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-layers: {len(faults)} include(s) against the stack "
              + " -> ".join(STACK), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
