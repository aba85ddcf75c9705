#!/usr/bin/env python3
"""Times `vekt --check` over a generated source of data directives and labels.

    src/parser/bench/check_throughput.py build/vekt
    src/parser/bench/check_throughput.py build/vekt --lines 100000 --runs 5 --keep /tmp/bench.asm \
        --option=--preprocessor-type=none

The source declares one data section and fills it with labels, numbered local labels,
integer and string data, reserved space, alignment and comments; it depends only on
--lines and --seed. The script prints the line count, the best and the median wall time
of --runs runs, and the exit status and diagnostic count of the last run.
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

STATEMENTS = [
    " .WORD {n}, {n}, 0x{h:X}",
    " .HALF {n}, -{n}",
    " .BYTE {b}, {b}, {b}, {b}",
    " .WORD {label}",
    " .WORD {label} + {n} ; a reference with an offset",
    " .ASCII \"text {n}\"",
    " .SPACE {b}",
    " .ALIGN 4",
    "; a comment line",
    "",
]


def generate(lines, seed):
    rng = random.Random(seed)
    out = [' .SDECL ".data.bench",DATA', ' .SECT ".data.bench"']
    labels = 0
    while len(out) < lines - 1:
        kind = rng.random()
        if kind < 0.15:
            labels += 1
            out.append("label_{}:".format(labels))
        elif kind < 0.2:
            out.append("{}:".format(rng.randrange(1, 10)))
        else:
            template = rng.choice(STATEMENTS)
            out.append(template.format(n=rng.randrange(0, 1 << 16), h=rng.randrange(0, 1 << 32),
                                       b=rng.randrange(0, 256),
                                       label="label_{}".format(rng.randrange(1, labels + 2))))
    out.append(" .END")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("vekt", help="the vekt program")
    parser.add_argument("--lines", type=int, default=100000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--seed", type=int, default=14)
    parser.add_argument("--keep", help="write the source here and keep it")
    parser.add_argument("--option", action="append", default=[], dest="options",
                        help="a further vekt option, for example --option=--preprocessor-type=none")
    args = parser.parse_args()

    source = generate(args.lines, args.seed)
    path = args.keep
    if not path:
        handle, path = tempfile.mkstemp(suffix=".asm")
        os.close(handle)
    with open(path, "w") as out:
        out.write(source)
    try:
        times = []
        result = None
        for _ in range(args.runs):
            start = time.perf_counter()
            result = subprocess.run([args.vekt, "--check"] + args.options + [path],
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            times.append(time.perf_counter() - start)
        diagnostics = len([line for line in result.stderr.splitlines() if line.strip()])
        print("lines {}  best {:.3f} s  median {:.3f} s  status {}  diagnostics {}".format(
            source.count("\n"), min(times), statistics.median(times), result.returncode, diagnostics))
        if result.returncode != 0 and diagnostics:
            sys.stderr.write("\n".join(result.stderr.splitlines()[:5]) + "\n")
    finally:
        if not args.keep:
            os.remove(path)


if __name__ == "__main__":
    main()
