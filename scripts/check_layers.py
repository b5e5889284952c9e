#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer it does not build on.

Usage: check_layers.py SRC_DIR LAYER...
Each LAYER is "name|folder|linked layers" as listed in the top-level
CMakeLists.txt. A file belongs to the layer whose folder is the longest prefix
of its path; it may include headers of its own layer and of every layer it
links, directly or through them. Files outside every layer (main.cpp) may
include anything.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def parse(entries):
    folders, links = {}, {}
    for entry in entries:
        name, folder, deps = (entry.split("|") + ["", ""])[:3]
        folders[name] = folder.rstrip("/") + "/"
        links[name] = deps.split()
    return folders, links


def reachable(name, links, seen=None):
    seen = set() if seen is None else seen
    if name not in seen:
        seen.add(name)
        for dep in links.get(name, []):
            reachable(dep, links, seen)
    return seen


def layer_of(path, folders):
    """The layer whose folder directly holds `path` (files in subfolders of a
    layer's folder belong to the nested layer, or to none)."""
    best = None
    for name, folder in folders.items():
        if path.startswith(folder) and "/" not in path[len(folder):]:
            if best is None or len(folder) > len(folders[best]):
                best = name
    return best


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    src = argv[1]
    folders, links = parse(argv[2:])
    unknown = {d for deps in links.values() for d in deps} - set(folders)
    if unknown:
        print("unknown layers named as links: " + ", ".join(sorted(unknown)), file=sys.stderr)
        return 2
    allowed = {name: reachable(name, links) for name in folders}
    problems = []
    checked = 0
    for root, _, files in os.walk(src):
        for f in sorted(files):
            if not f.endswith((".h", ".hpp", ".cpp", ".cc")):
                continue
            rel = os.path.relpath(os.path.join(root, f), src).replace(os.sep, "/")
            mine = layer_of(rel, folders)
            checked += 1
            with open(os.path.join(root, f), encoding="latin-1") as text:
                for number, line in enumerate(text, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    header = m.group(1)
                    if not os.path.exists(os.path.join(src, header)):
                        continue  # a system or test header
                    theirs = layer_of(header, folders)
                    if mine is None:
                        continue
                    if theirs is None or theirs not in allowed[mine]:
                        problems.append(f"{rel}:{number}: layer '{mine}' includes {header} "
                                        f"(layer '{theirs or 'none'}'), which it does not build on")
    for p in problems:
        print(p)
    print(f"{checked} files checked, {len(problems)} includes point up")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
