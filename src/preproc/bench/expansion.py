#!/usr/bin/env python3
"""Times macro and repeat-block expansion: a generated source through --preprocess.

    src/preproc/bench/expansion.py build/vekt                 # .DUP 100000 of 3 lines
    src/preproc/bench/expansion.py build/vekt --count 1000000 --runs 3
    src/preproc/bench/expansion.py build/vekt --kind macro    # 100000 macro calls
    src/preproc/bench/expansion.py build/vekt --kind dupf

Kinds:
  dup    one .DUP COUNT whose body has three lines;
  dupf   one .DUPF counting to COUNT, the loop value in two of the three lines;
  macro  COUNT calls of a macro with two parameters and a macro-local label.

The output written by vekt is checked against the expected expansion once; the
times are wall-clock times of whole runs (start-up included), and the best run is
reported.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

BODY = [" nop", " add d0,d1,d2", " .WORD 1"]


def make_source(kind, count):
    if kind == "dup":
        source = " .DUP %d\n%s\n .ENDM\n" % (count, "\n".join(BODY))
        expected = "".join(line + "\n" for line in BODY) * count
    elif kind == "dupf":
        source = " .DUPF i,1,%d\n mov d0,#i\n nop\n .WORD i\n .ENDM\n" % count
        expected = "".join(" mov d0,#%d\n nop\n .WORD %d\n" % (i, i) for i in range(1, count + 1))
    else:
        source = ("m .MACRO a,b\nlp: add d0,a,b\n jne d0,#0,lp\n .WORD a\n .ENDM\n"
                  + " m d1,d2\n" * count)
        expected = "".join("lp__M_L%06d: add d0,d1,d2\n jne d0,#0,lp__M_L%06d\n .WORD d1\n"
                           % (i, i) for i in range(1, count + 1))
    return source, expected


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vekt", help="the program to time")
    parser.add_argument("--kind", choices=["dup", "dupf", "macro"], default="dup")
    parser.add_argument("--count", type=int, default=100_000, help="iterations or calls")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    source, expected = make_source(args.kind, args.count)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "bench.asm")
        with open(path, "w", newline="") as f:
            f.write(source)
        command = [args.vekt, "--preprocess", path]
        result = subprocess.run(command, capture_output=True)
        if result.returncode != 0 or result.stdout.decode() != expected:
            sys.stderr.write("vekt did not expand the source as expected (status %d)\n%s"
                             % (result.returncode, result.stderr.decode()))
            return 1
        best = None
        for _ in range(args.runs):
            start = time.perf_counter()
            subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
            elapsed = time.perf_counter() - start
            best = elapsed if best is None else min(best, elapsed)
    lines = expected.count("\n")
    print("%s x %d: %d lines out, best of %d runs %.3f s (%.0f lines/s)"
          % (args.kind, args.count, lines, args.runs, best, lines / best))
    return 0


if __name__ == "__main__":
    sys.exit(main())
