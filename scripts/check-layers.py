#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer.

Layers, lowest first: util; objlib; the program model (expr and flow, which use each
other's types); preproc; isa; parser; output; driver. A folder may include its own
headers and those of the layers below it.

The includes are taken from the compiler's own account of what it opened (the
preprocessor run with -H), not from the include lines, so that no spelling of an
include ("../parser/X.h", <driver/X.h>, a macro) passes unseen. Every .cpp and .h file
is preprocessed on its own, so a header is checked even when no source includes it.

Usage: check-layers.py [--compiler CXX] [-I DIR]... SRC_ROOT
The include directories are those the build uses; SRC_ROOT is always one of them.
"""
import argparse
import concurrent.futures
import os
import pathlib
import re
import subprocess
import sys

RANK = {
    "util": 0,
    "objlib": 1,
    "expr": 2,
    "flow": 2,
    "preproc": 3,
    "isa": 4,
    "parser": 5,
    "output": 6,
    "driver": 7,
}
# A row of the -H tree: one dot per nesting level, a blank, the path as opened.
TREE_ROW = re.compile(r"^(\.+) (.+)$")
INCLUDE_LINE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')


def layer_of(path, roots):
    """The layer folder of a file below one of the include roots, or None."""
    for root in roots:
        try:
            rel = pathlib.PurePath(os.path.relpath(path, root))
        except ValueError:
            continue
        if rel.parts and rel.parts[0] != ".." and rel.parts[0] in RANK:
            return rel.parts[0]
    return None


def include_line(parent, child):
    """The line of `parent` whose include opened `child`, to point the report at it."""
    try:
        lines = pathlib.Path(parent).read_text(encoding="utf-8", errors="replace").splitlines()
    except OSError:
        return None
    name = os.path.basename(child)
    for number, text in enumerate(lines, 1):
        match = INCLUDE_LINE.match(text)
        if match and os.path.basename(match.group(1)) == name:
            return number
    return None


def include_edges(compiler, flags, path):
    """(parent, child) pairs of every include the preprocessor performed for `path`."""
    language = "c++-header" if path.suffix == ".h" else "c++"
    command = [compiler, "-std=c++20", "-E", "-H", "-x", language, *flags, str(path), "-o", os.devnull]
    result = subprocess.run(command, capture_output=True, text=True, errors="replace")
    if result.returncode != 0:
        # A file the check cannot preprocess cannot be shown to keep its layer.
        detail = result.stderr.strip().splitlines()
        return None, detail[-1] if detail else f"{compiler} exited with {result.returncode}"
    edges = []
    chain = [os.path.realpath(path)]
    for row in result.stderr.splitlines():
        match = TREE_ROW.match(row)
        if not match:
            continue
        depth = len(match.group(1))
        if depth > len(chain):
            continue
        del chain[depth:]
        child = os.path.realpath(match.group(2))
        edges.append((chain[-1], child))
        chain.append(child)
    return edges, None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--compiler", default=os.environ.get("CXX", "c++"))
    parser.add_argument("-I", dest="includes", action="append", default=[])
    parser.add_argument("src", nargs="?", default="src")
    args = parser.parse_args()

    src = os.path.realpath(args.src)
    roots = [src] + [os.path.realpath(d) for d in args.includes]
    flags = [f"-I{root}" for root in roots]
    files = [p for p in sorted(pathlib.Path(src).rglob("*"))
             if p.suffix in (".h", ".cpp") and layer_of(os.path.realpath(p), [src])]

    faults = set()
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        results = pool.map(lambda p: (p, include_edges(args.compiler, flags, p)), files)
        for path, (edges, failure) in results:
            if failure is not None:
                faults.add(f"{path}: cannot be preprocessed: {failure}")
                continue
            for parent, child in edges:
                from_layer = layer_of(parent, roots)
                to_layer = layer_of(child, roots)
                if from_layer is None or to_layer is None or RANK[to_layer] <= RANK[from_layer]:
                    continue
                line = include_line(parent, child)
                where = f"{os.path.relpath(parent, src)}:{line}" if line else os.path.relpath(parent, src)
                target = os.path.relpath(child, src)
                faults.add(f"{where}: {from_layer}/ includes {target} of a higher layer")
    for fault in sorted(faults):
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
