#!/usr/bin/env python3
"""Fails when an #include of the system's code runs against its layers.

The daemon's folders stand in layers, each calling only those below it:

  platform/                 the seam; platform/host/ also starts sim/
  core/base/                logs, locks, time base, CRC-32, ring buffer, ...
  comtab/dbPool             the DbPool publish layer
  Config/                   system image, key table engine, apply/save cycle
  Config/keys/, hw/, comtab/, power/, alarms/, audio/, persist/, links/,
  timing/                   the subsystems (a key region reaches its owners)
  core/ (but core/base/)    start-up, main loop, threads, children, files, ...

Checked rules (a project include is one whose first folder is a folder of
the tree, or a path relative to the including file, in quotes or angle
brackets):
  - platform/ includes only platform/ (platform/host/ also sim/);
  - core/base/ includes only core/base/ and platform/;
  - comtab/dbPool.* includes only comtab/dbPool.h, core/base/ and platform/;
  - Config/ outside Config/keys/ includes only Config/, core/base/,
    platform/ and comtab/dbPool.h;
  - outside core/, nothing includes core/ but core/base/;
  - display/ (lumiro, a program of its own) includes only display/ and
    platform/.
A stand-in pending/<folder>/<file> is checked as <folder>/<file>, the file
it stands for. Tests, testing/, sim/, tools/ and bench/ are not checked.

Usage: checkLayers.py [root]     (exit 1 and one line per finding on a fault)
"""
import os
import posixpath
import re
import sys

SKIP_DIRS = ("testing/", "sim/", "tools/", "bench/", "docs/")
SOURCE_EXT = (".cpp", ".h", ".hpp", ".cc", ".def")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*[<"]([^>"]+)[>"]', re.M)

# (layer of the including file, what it may include): the first rule whose
# prefix the file's path starts with applies; a path that matches none may
# include anything but core/'s upper files.
RULES = [
    ("platform/host/", ("platform/", "sim/")),
    ("platform/", ("platform/",)),
    ("core/base/", ("core/base/", "platform/")),
    ("comtab/dbPool.", ("comtab/dbPool.h", "core/base/", "platform/")),
    ("Config/keys/", None),
    ("Config/", ("Config/", "core/base/", "platform/", "comtab/dbPool.h")),
    ("display/", ("display/", "platform/")),
]


def source_files(root):
    for dirpath, dirnames, filenames in os.walk(root):
        rel_dir = os.path.relpath(dirpath, root)
        rel_dir = "" if rel_dir == "." else rel_dir + "/"
        dirnames[:] = [d for d in dirnames
                       if not d.startswith((".", "build")) and d != "tests"
                       and not (rel_dir + d + "/").startswith(SKIP_DIRS)]
        for name in filenames:
            if name.endswith(SOURCE_EXT):
                yield rel_dir + name


def checked_as(path):
    """The path whose rules apply: a stand-in is checked as its final file."""
    if path.startswith("pending/") and path.count("/") >= 2:
        return path[len("pending/"):]
    return path


def allowed(path, target):
    for prefix, may in RULES:
        if path.startswith(prefix):
            if may is not None and not target.startswith(may):
                return False
            break
    if target.startswith("core/") and not target.startswith("core/base/"):
        return path.startswith("core/")
    return True


def layer_of(path):
    for prefix, _ in RULES:
        if path.startswith(prefix):
            return prefix.rstrip("/.")
    return path.split("/")[0]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    top = {d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d))}
    faults = []
    for rel in sorted(source_files(root)):
        path = checked_as(rel)
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for m in INCLUDE.finditer(text):
            target = m.group(1)
            if target.split("/")[0] not in top:
                # A path relative to the file is checked as the file it
                # names; anything else is a system header.
                if not os.path.exists(os.path.join(root, os.path.dirname(rel), target)):
                    continue
                target = posixpath.normpath(posixpath.join(posixpath.dirname(path), target))
            if not allowed(path, target):
                line = text.count("\n", 0, m.start()) + 1
                faults.append(f"{rel}:{line}: includes {target} (layer {layer_of(path)})")
    for f in faults:
        print(f)
    if faults:
        print(f"checkLayers: {len(faults)} include(s) against the layers; see docs/DEVELOPING.md, Layers",
              file=sys.stderr)
        return 1
    print("checkLayers: every include of the system's code keeps to its layer")
    return 0


if __name__ == "__main__":
    sys.exit(main())
