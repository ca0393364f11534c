#!/usr/bin/env python3
"""Fails on an include that points up or across the stack's layers.

The order is the one the build declares: the target_link_libraries lines of the bacnet_<folder>
libraries in bacnet/CMakeLists.txt, and backend_core's in backend/CMakeLists.txt. A file of a
layer may include its own layer and every layer its library reaches through those lines.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LINK = re.compile(r"target_link_libraries\(\s*(\w+)\s+(?:PUBLIC|PRIVATE|INTERFACE)?([^)]*)\)")
INCLUDE = re.compile(r'^\s*#\s*include\s+"((?:bacnet/\w+|backend)/[^"]*)"')


def layer_of(target):
    """The folder a library builds: bacnet_codec -> bacnet/codec, backend_core -> backend."""
    if target == "backend_core":
        return "backend"
    if target.startswith("bacnet_"):
        return "bacnet/" + target[len("bacnet_"):]
    return None


def declared_order():
    below = {}
    for cmake in ("bacnet/CMakeLists.txt", "backend/CMakeLists.txt"):
        for target, deps in LINK.findall((ROOT / cmake).read_text()):
            if layer_of(target):
                below[layer_of(target)] = [layer_of(d) for d in deps.split() if layer_of(d)]
    reach = {}
    for layer in below:
        seen, todo = {layer}, list(below[layer])
        while todo:
            lower = todo.pop()
            if lower not in seen:
                seen.add(lower)
                todo += below.get(lower, [])
        reach[layer] = seen
    return reach


def layer_of_path(relative):
    parts = relative.parts
    return "backend" if parts[0] == "backend" else "/".join(parts[:2])


def main():
    reach = declared_order()
    faults = []
    sources = [p for top in ("bacnet", "backend") for p in (ROOT / top).rglob("*") if p.suffix in (".h", ".cpp")]
    for path in sorted(sources):
        relative = path.relative_to(ROOT)
        layer = layer_of_path(relative)
        if layer not in reach:
            faults.append(f"{relative}: folder {layer} has no library in the declared order")
            continue
        for number, line in enumerate(path.read_text().splitlines(), 1):
            match = INCLUDE.match(line)
            if match and layer_of_path(pathlib.PurePath(match.group(1))) not in reach[layer]:
                faults.append(f"{relative}:{number}: {layer} must not include {match.group(1)}")
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
