"""Assembles each use of an equate X twice: once with X defined by .EQU (or .SET or
.ALIAS) somewhere in the source, once with X's value written in place of every use,
and prints every case whose object (section bytes, relocations, the symbols the use
names), diagnostics or exit status differ. Where an equate is written must not change
what its uses assemble to.

usage: equate-in-place.py VEKT WORKDIR
"""
import itertools
import os
import re
import subprocess
import sys

vekt, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)

# Where the defining line stands.
POSITIONS = ["before", "inside", "other", "after"]

# The value: (name, text, spelling). The spelling is the directive; .ALIAS takes a name.
VALUES = [
    ("number", "0x10", ".EQU"),
    ("same", "tlab", ".EQU"),
    ("relocatable", "rlab", ".EQU"),
    ("placed", "plab", ".EQU"),
    ("label-plus", "tlab+4", ".EQU"),
    ("other-plus", "rlab+2", ".EQU"),
    ("set-number", "0x10", ".SET"),
    ("set-relocatable", "rlab+2", ".SET"),
    ("alias-same", "tlab", ".ALIAS"),
    ("alias-placed", "plab", ".ALIAS"),
    ("chain", "E2", ".EQU"),
]
CHAIN_VALUE = "plab+2"

USES = [
    ("j", "\tj X"),
    ("j32", "\tj32 X"),
    ("jl", "\tjl X"),
    ("call", "\tcall X"),
    ("jeq16", "\tjeq d15,#1,X"),
    ("jne32", "\tjne d1,d2,X"),
    ("loop", "\tloop a2,X"),
    ("word", "\t.word X"),
    ("his-los", "\tmovh.a a2,#@his(X)\n\tlea a2,[a2]@los(X)"),
    ("masked", "\tmov.u d1,#(tlab2-X)&0xffff"),
    ("minus-label", "\t.word X-tlab"),
    ("label-minus", "\t.word tlab2-X"),
    ("minus-other", "\t.word X-rlab"),
    ("size", "\t.size tlab,X-tlab"),
]

PLACEMENTS = ["", " AT 0x2000"]
MODES = [[], ["-a"]]


def source(position, value, spelling, use, placement, in_place):
    text = CHAIN_VALUE if value == "E2" else value
    # .SET does not take a forward reference and is not used before it is set: its
    # symbol goes after the labels it names and before its use.
    if spelling == ".SET" and position != "inside":
        return None
    if in_place:
        definition = ";"
        use = re.sub(r"\bX\b", "(" + text + ")", use)
    elif spelling == ".ALIAS":
        definition = "X .ALIAS " + value
    else:
        definition = "X " + spelling + " " + value
    chain = "E2 .EQU " + CHAIN_VALUE if value == "E2" and not in_place else ";"
    lines = [
        '\t.sdecl ".text.t",code' + placement,
        '\t.sdecl ".data.r",data',
        '\t.sdecl ".data.p",data AT 0x100',
        '\t.sdecl ".data.o",data',
        definition if position == "before" else ";",
        chain,
        '\t.sect ".data.r"',
        "\t.word 0",
        "rlab:\t.word 0",
        '\t.sect ".data.p"',
        "\t.word 0",
        "plab:\t.word 0",
        '\t.sect ".data.o"',
        definition if position == "other" else ";",
        "\t.word 0",
        '\t.sect ".text.t"',
        "\tnop",
        "tlab:\tnop",
        definition if position == "inside" else ";",
        use,
        "\tnop",
        "tlab2:\tnop",
        "\t.global tlab",
        definition if position == "after" else ";",
    ]
    return "\n".join(lines) + "\n"


def outcome(path, options):
    obj = path[:-4] + ".o"
    if os.path.exists(obj):
        os.remove(obj)
    run = subprocess.run([vekt, *options, path, "-o", obj], capture_output=True, text=True)
    diagnostics = re.sub(r'\["[^"]*"', '["src"', run.stderr)
    result = ["status %d" % run.returncode, diagnostics]
    if os.path.exists(obj):
        dump = subprocess.run(
            ["llvm-readelf", "-x", ".text.t", "-x", ".data.o", "-r", "-s", obj],
            capture_output=True, text=True).stdout
        # The equate's own symbol is compared by the symbol-table tests, not here.
        kept = [line for line in dump.splitlines()
                if line.strip() and not re.search(r"\b(X|E2)$", line) and "offset 0x" not in line
                and "Symbol table" not in line]
        result.append("\n".join(kept))
    return result


cases = differ = 0
for (position, (name, value, spelling), (use_name, use), placement, options) in itertools.product(
        POSITIONS, VALUES, USES, PLACEMENTS, MODES):
    texts = [source(position, value, spelling, use, placement, in_place) for in_place in (False, True)]
    if texts[0] is None:
        continue
    label = "%s %s %s%s%s" % (position, name, use_name, " placed" if placement else "",
                              " " + " ".join(options) if options else "")
    results = []
    for index, text in enumerate(texts):
        # One file name for both: the object's symbols name the source.
        folder = os.path.join(work, ("equate", "in-place")[index])
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "case.asm")
        with open(path, "w") as out:
            out.write(text)
        results.append(outcome(path, options))
    cases += 1
    if results[0] != results[1]:
        differ += 1
        print("differs: " + label)
        for index, kind in enumerate(("equate", "in place")):
            print("  " + kind + ": " + "\n    ".join("\n".join(results[index]).splitlines()))
print("%d cases, %d differ" % (cases, differ))
