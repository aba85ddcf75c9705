#!/usr/bin/env python3
"""Times the source input: a generated source of N lines through --preprocess.

    src/preproc/bench/passthrough.py build/vekt            # 1,000,000 lines, best of 5
    src/preproc/bench/passthrough.py build/vekt --lines 200000 --runs 3 --type zelkova
    src/preproc/bench/passthrough.py build/vekt --repeat 1000

The source mixes labels, instructions with operands, comments, blank lines, CR LF line
ends and continuation lines. Every line has a text of its own, so that interning sees
a new text per line; with --repeat K the texts come from K distinct numbers only, as
in a hand-written source. The output written by vekt is checked against the source
once; the times are wall-clock times of whole runs (start-up included), and the best
run is reported.
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile
import time

STATEMENTS = [
    "\tmov d{r},#{n}",
    "\tadd d{r},d{s},d{t}",
    "\tld.w d{r},[a{s}]{n}",
    "\tst.w [a{s}]-{n},d{r}",
    "\tjeq d{r},d{s},label{n}",
    "label{n}:",
    "\tcall function{n}\t; call number {n}",
    "; a comment line {n}",
    "",
    "\t.word 0x{n:08x}, {n}",
]


def make_source(lines, seed, repeat=0):
    rng = random.Random(seed)
    out = []
    expected = []
    for i in range(lines):
        text = rng.choice(STATEMENTS).format(r=rng.randrange(16), s=rng.randrange(16),
                                             t=rng.randrange(16),
                                             n=rng.randrange(repeat) if repeat else i)
        if i % 97 == 0:
            # A continuation joins this line with the next physical one.
            out.append(text + " \\\n")
            expected.append(text + " \n")
            continue
        end = "\r\n" if i % 5 == 0 else "\n"
        out.append(text + end)
        expected.append(text + "\n")
    return "".join(out), "".join(expected)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vekt", help="the program to time")
    parser.add_argument("--lines", type=int, default=1_000_000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--type", default="none", help="--preprocessor-type value")
    parser.add_argument("--seed", type=int, default=12)
    parser.add_argument("--repeat", type=int, default=0,
                        help="draw the numbers in the texts from this many (0: all distinct)")
    args = parser.parse_args()

    source, expected = make_source(args.lines, args.seed, args.repeat)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "bench.asm")
        with open(path, "w", newline="") as f:
            f.write(source)
        command = [args.vekt, "--preprocessor-type=" + args.type, "--preprocess", path]
        result = subprocess.run(command, capture_output=True)
        if result.returncode != 0 or result.stdout.decode() != expected:
            sys.stderr.write("vekt did not pass the source through unchanged (status %d)\n%s"
                             % (result.returncode, result.stderr.decode()))
            return 1
        best = None
        for _ in range(args.runs):
            start = time.perf_counter()
            subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
            elapsed = time.perf_counter() - start
            best = elapsed if best is None else min(best, elapsed)
    size = len(source.encode())
    print("%d lines, %.1f MB: best of %d runs %.3f s (%.1f MB/s)"
          % (args.lines, size / 1e6, args.runs, best, size / 1e6 / best))
    return 0


if __name__ == "__main__":
    sys.exit(main())
