#!/usr/bin/env python3
"""Times the macro preprocessor's line loop: N instruction lines through --preprocess.

    src/preproc/bench/line_loop.py build/vekt                  # 1,000,000 lines, best of 5
    src/preproc/bench/line_loop.py build/vekt --lines 100000 --runs 3
    src/preproc/bench/line_loop.py build/vekt --comments 10    # every 10th line a comment

The source has the shape of the assembler benchmark: a label every ten lines and
instructions with registers, immediates, memory operands and jumps, none of them
touched by a define or a macro, so that the figures show what a plain line costs.
With --comments K every K-th instruction carries a trailing comment, which the loop
cuts. Each source runs through the macro preprocessor and through none at all
(--preprocessor-type=none, which only reads the lines); the difference is the
macro preprocessor's own share. Reported: best wall time of whole runs (start-up
included) in microseconds a line, and the peak memory of the run in bytes a line.
The output is checked against the expected lines once.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

STATEMENTS = [
    " add d{r},d{s}",
    " mov d{r},#{n}",
    " ld.w d{r},[a{s}]{m}",
    " jne d{r},d{s},L{label}",
    " xor d{r},d{s}",
]


def make_source(lines, comments):
    out = []
    expected = []
    for i in range(lines):
        if i % 10 == 0:
            text = "L%d:" % i
            out.append(text)
            expected.append(text)
            continue
        text = STATEMENTS[i % len(STATEMENTS)].format(
            r=i % 7, s=(i * 3) % 7, n=i % 4096, m=(i * 4) % 1024, label=i - i % 10)
        expected.append(text)
        if comments and i % comments == 0:
            # The loop cuts the comment and keeps the blank before it.
            out.append(text + " ; note %d" % i)
            expected[-1] = text + " "
        else:
            out.append(text)
    return "\n".join(out) + "\n", "\n".join(expected) + "\n"


def run_best(command, runs, folder):
    # The peak comes from /usr/bin/time: a child forked from this process starts with
    # this process's memory counted, the source text included.
    report = os.path.join(folder, "time.out")
    best = None
    peak = 0
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M"] + command,
                       stdout=subprocess.DEVNULL, check=True)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
        with open(report) as f:
            peak = max(peak, int(f.read().split()[-1]))  # KB
    return best, peak * 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vekt", help="the program to time")
    parser.add_argument("--lines", type=int, default=1_000_000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--comments", type=int, default=0,
                        help="give every K-th line a trailing comment (0: none)")
    args = parser.parse_args()

    if not os.access("/usr/bin/time", os.X_OK):
        sys.stderr.write("/usr/bin/time not found (Debian package time)\n")
        return 2
    source, expected = make_source(args.lines, args.comments)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "bench.asm")
        with open(path, "w", newline="") as f:
            f.write(source)
        macro = [args.vekt, "--preprocess", path]
        result = subprocess.run(macro, capture_output=True)
        if result.returncode != 0 or result.stdout.decode() != expected:
            sys.stderr.write("vekt did not write the expected lines (status %d)\n%s"
                             % (result.returncode, result.stderr.decode()))
            return 1
        del source, expected, result
        bare_time, bare_peak = run_best([args.vekt, "--preprocessor-type=none", "--preprocess", path],
                                        args.runs, folder)
        macro_time, macro_peak = run_best(macro, args.runs, folder)
    lines = args.lines
    print("%d lines, best of %d runs" % (lines, args.runs))
    print("  macro preprocessor  %6.3f us a line  %6.0f B a line peak"
          % (macro_time / lines * 1e6, macro_peak / lines))
    print("  lines only read     %6.3f us a line  %6.0f B a line peak"
          % (bare_time / lines * 1e6, bare_peak / lines))
    print("  the macro preprocessor's own share  %6.3f us a line"
          % ((macro_time - bare_time) / lines * 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main())
