#!/usr/bin/env python3
"""Fails on an include that points up or across the layers of the stack and of the
configuration program.

The order is the one the build declares: the target_link_libraries lines of the bacnet_<folder>
libraries in bacnet/CMakeLists.txt, backend_core's in backend/CMakeLists.txt and those of
gui_core, gui_forms and the ZOR17-RS485 program (the files directly in gui/) in
gui/CMakeLists.txt. A file of a layer may include its own layer and every layer its library
reaches through those lines. Includes count in either spelling, "..." or <...>, when they name
a file of the project's own folders, and so does a "..." include written relative to the
including file ("../forms/x.h"); any other include is a system or library header.
"""
import os
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TOPS = ("bacnet", "backend", "gui")
LINK = re.compile(r"target_link_libraries\(\s*([\w-]+)\s+(?:PUBLIC|PRIVATE|INTERFACE)?([^)]*)\)")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def layer_of(target):
    """The folder a library builds: bacnet_codec -> bacnet/codec, backend_core -> backend."""
    if target == "backend_core":
        return "backend"
    if target == "ZOR17-RS485":
        return "gui"
    for top in ("bacnet", "gui"):
        if target.startswith(top + "_"):
            return top + "/" + target[len(top) + 1:]
    return None


def declared_order():
    below = {}
    for cmake in ("bacnet/CMakeLists.txt", "backend/CMakeLists.txt", "gui/CMakeLists.txt"):
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
    """backend/api/x.h -> backend, bacnet/codec/x.h -> bacnet/codec, gui/main.cpp -> gui."""
    parts = relative.parts
    if parts[0] == "backend" or len(parts) < 3:
        return parts[0]
    return "/".join(parts[:2])


def project_file(relative, delimiter, name):
    """The file of the project's own folders that an include in `relative` names, relative to
    the root, or None for a system or library header. The compiler looks for a "..." name beside
    the including file first."""
    included = pathlib.PurePath(name)
    if included.parts[0] in TOPS:
        return included
    if delimiter == '"':
        beside = pathlib.PurePath(os.path.normpath(relative.parent / included))
        if beside.parts[0] in TOPS:
            return beside
    return None


def faults_in(relative, text, reach):
    """The faults of one file, `relative` to the root, whose contents are `text`."""
    layer = layer_of_path(relative)
    if layer not in reach:
        return [f"{relative}: folder {layer} has no library in the declared order"]
    faults = []
    for number, line in enumerate(text.splitlines(), 1):
        match = INCLUDE.match(line)
        if not match:
            continue
        included = project_file(relative, *match.groups())
        if included and layer_of_path(included) not in reach[layer]:
            faults.append(f"{relative}:{number}: {layer} must not include {match.group(2)}")
    return faults


def main():
    reach = declared_order()
    faults = []
    sources = [p for top in TOPS for p in (ROOT / top).rglob("*") if p.suffix in (".h", ".cpp")]
    for path in sorted(sources):
        faults += faults_in(path.relative_to(ROOT), path.read_text(), reach)
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
