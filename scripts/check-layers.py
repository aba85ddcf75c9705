#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer.

Layers, lowest first: util; objlib; the program model (expr and flow, which use each
other's types); preproc; isa; parser; output; driver. A folder may include its own
headers and those of the layers below it.
"""
import pathlib
import re
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
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/[^"]+"', re.MULTILINE)


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".def"):
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in RANK:
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for match in INCLUDE.finditer(text):
            target = match.group(1)
            if target in RANK and RANK[target] > RANK[folder]:
                line = text.count("\n", 0, match.start()) + 1
                faults.append(f"{path}:{line}: {folder}/ includes {match.group(0).strip()} of a higher layer")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
