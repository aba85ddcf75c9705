#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer.

Layers, lowest first: util; objlib; the program model (expr and flow, which use each
other's types); preproc; isa; parser; output; driver. A folder may include its own
headers and those of the layers below it.

The includes are taken from the compiler's own account of what it opened (the
preprocessor run with -H), not from the include lines, so that no spelling of an
include ("../parser/X.h", <driver/X.h>, a macro) passes unseen. Every .cpp and .h file
is preprocessed on its own, so a header is checked even when no source includes it.
Each file is preprocessed with the flags the build compiles it with, read from the
compilation database (a header, or a file the database does not name, gets the flags
of the database's first source below SRC_ROOT), so that an include under a condition
such as NDEBUG is seen as the build sees it.

Every folder directly under SRC_ROOT must be a layer, and an include that passes
through a header outside the layers counts for the layer that included that header.

Usage: check-layers.py [--compiler CXX] [--compile-commands FILE] [-I DIR]... SRC_ROOT
The include directories are those the build uses; SRC_ROOT is always one of them.
"""
import argparse
import concurrent.futures
import json
import os
import pathlib
import re
import shlex
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
# Compiler options that change what the preprocessor opens; those that take their value
# as the next word are listed apart.
KEPT_PREFIXES = ("-D", "-U", "-I", "-std=", "-O", "-f", "-m", "-isystem", "-iquote", "-idirafter",
                 "-include", "-imacros")
SEPARATE_VALUE = ("-D", "-U", "-I", "-isystem", "-iquote", "-idirafter", "-include", "-imacros")


def preprocessor_flags(words):
    """The options of one compile command that bear on preprocessing."""
    kept = []
    index = 1  # the compiler itself
    while index < len(words):
        word = words[index]
        if word in SEPARATE_VALUE and index + 1 < len(words):
            kept += [word, words[index + 1]]
            index += 2
            continue
        if word.startswith(KEPT_PREFIXES):
            kept.append(word)
        index += 1
    return kept


def read_compile_commands(path, src):
    """Flags by source file (real paths), and the flags for files the database does not name."""
    with open(path, encoding="utf-8") as stream:
        entries = json.load(stream)
    by_file = {}
    default = None
    for entry in entries:
        words = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
        name = os.path.realpath(os.path.join(entry.get("directory", "."), entry["file"]))
        flags = preprocessor_flags(words)
        by_file[name] = flags
        inside = not os.path.relpath(name, src).startswith("..")
        if default is None and inside:
            default = flags
    if default is None and by_file:
        default = next(iter(by_file.values()))
    return by_file, default or []


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
    """(parent, child, outer) of every include the preprocessor performed for `path`:
    `outer` is the nearest file up the chain that lies in a layer (the file itself when
    it does), so that a hop through a header outside the layers is charged to it."""
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
        edges.append((chain[-1], child, list(chain)))
        chain.append(child)
    return edges, None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--compiler", default=os.environ.get("CXX", "c++"))
    parser.add_argument("--compile-commands", help="the build's compilation database")
    parser.add_argument("-I", dest="includes", action="append", default=[])
    parser.add_argument("src", nargs="?", default="src")
    args = parser.parse_args()

    src = os.path.realpath(args.src)
    roots = [src] + [os.path.realpath(d) for d in args.includes]
    base_flags = [f"-I{root}" for root in roots]
    by_file, default_flags = {}, []
    if args.compile_commands:
        by_file, default_flags = read_compile_commands(args.compile_commands, src)

    def flags_of(path):
        return base_flags + by_file.get(os.path.realpath(path), default_flags)

    faults = set()
    # A folder outside the layers has no place in the order: nothing would hold its
    # includes to it.
    for entry in sorted(pathlib.Path(src).iterdir()):
        if entry.is_dir() and entry.name not in RANK:
            faults.add(f"{entry.name}/: folder is not a layer (known: {', '.join(RANK)})")
    files = [p for p in sorted(pathlib.Path(src).rglob("*"))
             if p.suffix in (".h", ".cpp") and layer_of(os.path.realpath(p), [src])]

    def in_tree(path):
        return any(not os.path.relpath(path, root).startswith("..") for root in roots)

    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        results = pool.map(lambda p: (p, include_edges(args.compiler, flags_of(p), p)), files)
        for path, (edges, failure) in results:
            if failure is not None:
                faults.add(f"{path}: cannot be preprocessed: {failure}")
                continue
            for parent, child, chain in edges:
                to_layer = layer_of(child, roots)
                if to_layer is None:
                    continue
                # The file that answers for the include: the parent, or when the parent
                # lies outside the layers, the nearest file up the chain that does not.
                outer = next((f for f in reversed(chain) if layer_of(f, roots) is not None), None)
                if outer is None:
                    continue
                from_layer = layer_of(outer, roots)
                if RANK[to_layer] <= RANK[from_layer]:
                    continue
                hop = chain[chain.index(outer) + 1] if outer != parent else child
                line = include_line(outer, hop)
                where = f"{os.path.relpath(outer, src)}:{line}" if line else os.path.relpath(outer, src)
                target = os.path.relpath(child, src)
                through = f" through {os.path.relpath(parent, src)}" if outer != parent and in_tree(parent) else ""
                if outer != parent and not in_tree(parent):
                    continue  # a system header's own includes
                faults.add(f"{where}: {from_layer}/ includes {target} of a higher layer{through}")
    for fault in sorted(faults):
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
