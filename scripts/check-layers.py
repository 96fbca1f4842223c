#!/usr/bin/env python3
"""check-layers.py [SRC_DIR]

Fails (exit 1) when an #include crosses a layer the wrong way:

  src/core/<sub>    standard C++ only: may include core files, never Qt, X11,
                    xcb, wayland or anything outside src/core
  src/platform      services behind small interfaces: platform files only
  src/gui/kit       may include core, platform and kit files
  src/gui/<sub>     may include core, platform, kit and its own folder's files,
                    never another window folder (gui/<other>)
  src/app           the composition root: may include anything

It also fails when the folders' include graph has a cycle. Prints one line per
fault, naming the file, the line and the rule.
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SYSTEM_TOOLKIT = re.compile(
    r'^(Q[A-Za-z]*|Qt[A-Za-z]*/.*|q[a-z0-9_]+\.h|X11/.*|xcb/.*|wayland-.*|KF\d.*)$')
SOURCE_EXT = (".h", ".hpp", ".cpp", ".cc")


def folder_of(rel):
    """'core/notes/page_store.h' -> 'core/notes'; 'app/main.cpp' -> 'app'."""
    parts = rel.split("/")
    if parts[0] in ("core", "gui") and len(parts) > 2:
        return "/".join(parts[:2])
    return parts[0]


def allowed(src_folder, dst_folder):
    layer = src_folder.split("/")[0]
    if src_folder == dst_folder:
        return True
    if layer == "core":
        return dst_folder.startswith("core/")
    if layer == "platform":
        return False
    if src_folder == "gui/kit":
        return dst_folder.startswith("core/") or dst_folder == "platform"
    if layer == "gui":
        return (dst_folder.startswith("core/") or dst_folder == "platform"
                or dst_folder == "gui/kit")
    if layer == "app":
        return True
    return False


def find_cycle(graph):
    state = {}
    stack = []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(graph.get(n, ())):
            if state.get(m) == 1:
                return stack[stack.index(m):] + [m]
            if m not in state:
                c = visit(m)
                if c:
                    return c
        stack.pop()
        state[n] = 2
        return None

    for n in sorted(graph):
        if n not in state:
            c = visit(n)
            if c:
                return c
    return None


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "src")
    src = os.path.normpath(src)
    faults = []
    graph = {}
    files = 0
    for root, _dirs, names in os.walk(src):
        for name in sorted(names):
            if not name.endswith(SOURCE_EXT):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, src)
            files += 1
            here = folder_of(rel)
            with open(path, encoding="utf-8", errors="replace") as f:
                for lineno, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, target = m.groups()
                    where = f"src/{rel}:{lineno}"
                    if kind == "<":
                        if here.startswith("core/") and SYSTEM_TOOLKIT.match(target):
                            faults.append(f"{where}: core file includes toolkit header <{target}>")
                        continue
                    if target.endswith(".moc") or "/" not in target:
                        continue
                    there = folder_of(target)
                    if not os.path.exists(os.path.join(src, target)):
                        faults.append(f"{where}: includes \"{target}\", which is not under src/")
                        continue
                    if there != here:
                        graph.setdefault(here, set()).add(there)
                    if not allowed(here, there):
                        faults.append(f"{where}: {here} may not include {there} (\"{target}\")")
    cycle = find_cycle(graph)
    if cycle:
        faults.append("folder cycle: " + " -> ".join(cycle))
    for f in faults:
        print(f)
    if files == 0:
        print(f"check-layers: no source files under {src}")
        return 1
    print(f"check-layers: {files} files, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
