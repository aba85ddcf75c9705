#!/usr/bin/env python3
"""Measures how time and peak memory grow with the input where they once grew with
its square: listing bytes with debug information, one data line of many operands
or one long string in the list file, and many distinct global symbols.

    src/output/bench/growth.py build/vekt                  # every case
    src/output/bench/growth.py build/vekt --case globals --symbols 1000000

Cases:
  debug-list  -g with a list file over N and 10 N lines of code; memory ratio
  word-list   one .WORD line of 40,000 operands, with and without a list file
  ascii-list  one .ASCII string of 1.6 MB, with and without a list file
  globals     N .GLOBAL symbols, each with a label; GNU as over the same shape
              when it is installed, and the time ratio

Each figure is the best wall time and the largest peak memory of three runs. A
benchmark to read, not a test: the figures vary with the machine and its load.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

MNEMONICS = [" add d2,d5", " mov d1,#1", " ld.w d4,[a2]8", " xor d6,d4"]


def measure(command, cwd):
    """Best wall seconds and largest peak KB of three runs of the command."""
    best, peak = None, 0
    for _ in range(3):
        timing = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command, cwd=cwd,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        seconds, kilobytes = timing.stderr.strip().splitlines()[-1].split()
        best = float(seconds) if best is None else min(best, float(seconds))
        peak = max(peak, int(kilobytes))
    return best, peak


def write(path, lines):
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


def code_source(path, count):
    lines = [' .SDECL ".text",CODE', ' .SECT ".text"']
    for index in range(count):
        if index % 10 == 0:
            lines.append("L%d:" % index)
        lines.append(MNEMONICS[index % len(MNEMONICS)])
    write(path, lines)


def report(label, seconds, kilobytes):
    print("%-34s %8.2f s %10d KB" % (label, seconds, kilobytes))


def debug_list(vekt, work, lines):
    figures = []
    for count in (lines, 10 * lines):
        source = os.path.join(work, "code%d.asm" % count)
        code_source(source, count)
        seconds, peak = measure([vekt, "-g", "--list-file=code.lst", "-o", "code.o", source], work)
        report("-g -l, %d lines" % count, seconds, peak)
        figures.append(peak)
    print("memory grows %.1fx for 10x the lines" % (figures[1] / figures[0]))


def with_and_without_list(vekt, work, name, body):
    source = os.path.join(work, name + ".asm")
    write(source, [' .SDECL ".data",DATA', ' .SECT ".data"', body])
    plain = measure([vekt, "-o", name + ".o", source], work)
    listed = measure([vekt, "--list-file=" + name + ".lst", "-o", name + ".o", source], work)
    report(name + " without -l", *plain)
    report(name + " with -l", *listed)
    print("memory with -l is %.2fx that without" % (listed[1] / plain[1]))


def globals_case(vekt, work, symbols):
    source = os.path.join(work, "globals.asm")
    peer = os.path.join(work, "globals.s")
    with open(source, "w") as out, open(peer, "w") as gas:
        out.write(' .SDECL ".text",CODE\n .SECT ".text"\n')
        gas.write(" .text\n")
        for index in range(symbols):
            out.write(" .GLOBAL sym%d\nsym%d: nop\n" % (index, index))
            gas.write(" .globl sym%d\nsym%d: nop\n" % (index, index))
    seconds, peak = measure([vekt, "-o", "globals.o", source], work)
    report("%d .GLOBAL symbols" % symbols, seconds, peak)
    if shutil.which("as"):
        peer_seconds, peer_peak = measure(["as", "-o", "gas.o", peer], work)
        report("GNU as, same shape", peer_seconds, peer_peak)
        print("time ratio to GNU as %.2f" % (seconds / peer_seconds))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vekt")
    parser.add_argument("--case", choices=["debug-list", "word-list", "ascii-list", "globals", "all"],
                        default="all")
    parser.add_argument("--lines", type=int, default=10000, help="debug-list: the smaller count")
    parser.add_argument("--symbols", type=int, default=1000000, help="globals: the count")
    args = parser.parse_args()
    vekt = os.path.abspath(args.vekt)
    work = tempfile.mkdtemp(prefix="vekt-growth-")
    try:
        if args.case in ("debug-list", "all"):
            debug_list(vekt, work, args.lines)
        if args.case in ("word-list", "all"):
            with_and_without_list(vekt, work, "word",
                                  " .WORD " + ",".join(str(i) for i in range(40000)))
        if args.case in ("ascii-list", "all"):
            with_and_without_list(vekt, work, "ascii", ' .ASCII "' + "abcdefghij" * 160000 + '"')
        if args.case in ("globals", "all"):
            globals_case(vekt, work, args.symbols)
    finally:
        shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
