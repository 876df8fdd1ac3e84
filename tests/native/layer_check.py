#!/usr/bin/env python3
"""Includes point one way: a source folder may include only from its own folder and from the
layers below it. The layers, lowest first:

    framework, resources      our application framework stand-ins; the resource ids
    com                       a generic in-process COM server core
    control                   OLE control support
    common, description,      the subsystems' shared install facts, and the subsystems that
    download, folder          need no other subsystem
    install, launch           the two requests' subsystems
    checker                   the control object
    module, broker            the DLL's entry points, application object and class table; the
                              broker program

usage: layer_check.py <source dir>
"""
import os
import re
import sys

LAYERS = [
    {"framework", "resources"},
    {"com"},
    {"control"},
    {"common", "description", "download", "folder"},
    {"install", "launch"},
    {"checker"},
    {"module", "broker"},
]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.MULTILINE)


def violations(root):
    found = []
    for folder in sorted(RANK):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".h", ".cpp", ".rc", ".in")):
                continue
            with open(os.path.join(path, name), encoding="utf-8", errors="replace") as source:
                text = source.read()
            for included in INCLUDE.findall(text):
                if included == folder or included not in RANK:
                    continue
                if RANK[included] >= RANK[folder]:
                    found.append(f"{folder}/{name} includes {included}/: "
                                 f"{included} is not below {folder}")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    missing = [folder for folder in RANK if not os.path.isdir(os.path.join(root, folder))]
    if missing:
        sys.exit(f"layer_check: no folder {', '.join(missing)} in {root}")
    found = violations(root)
    for line in found:
        print(line)
    print(f"layer_check: {len(found)} include(s) against the layers")
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
