#!/usr/bin/env python3
"""Time and peak memory of long chains of symbol values, for a given binary.

    src/expr/bench/equ_chains.py build/vekt
    src/expr/bench/equ_chains.py build/vekt --links 20000 --case minus-k --options "-l -Lv"
    src/expr/bench/equ_chains.py build/vekt --write DIR     # only write the sources

Sources (N links each):
  plus       s_i .EQU s_(i+1)+1, s_N .EQU 0, .word s0
  global     the same with .GLOBAL s0 in place of .word s0
  extern     S0 .EQU ext (an .EXTERN), S_i .EQU S_(i-1)+1, .word S_N
  label      s_i .EQU s_(i+1)+1, s_N .EQU lab (a label), .word s0
  alias      a_i .ALIAS a_(i+1), a_N a label, .word a0
  minus-k    k .EQU 1, s_i .EQU s_(i+1)-k, s_N .EQU 0, .word s0
  minus-1    s_i .EQU s_(i+1)-1, s_N .EQU 0, .word s0
  minus-lab  s_i .EQU lab2-s_(i+1), s_N .EQU lab (labels lab, lab2), .word s0
  cycle      s_i .EQU s_(i+1)+1, s_(N-1) .EQU s0+1: no value

Each source runs under every option set given (default: none, -g, "-l -Lv",
--emit-locals=e); the script prints wall seconds and peak KB from /usr/bin/time
-f '%e s %M KB' and the exit status. A benchmark to read, not a test: the figures
vary with the machine and its load. A run that passes --timeout seconds is stopped.
"""
import argparse
import os
import subprocess
import sys
import tempfile

HEADER = ' .sdecl ".data.a",data\n .sect ".data.a"\n'


def plus(n):
    return HEADER + " .word s0\n" + "".join("s%d .EQU s%d+1\n" % (i, i + 1) for i in range(n)) + "s%d .EQU 0\n" % n


def global_(n):
    return HEADER + " .GLOBAL s0\n" + "".join("s%d .EQU s%d+1\n" % (i, i + 1) for i in range(n)) + "s%d .EQU 0\n" % n


def extern(n):
    return (HEADER + " .EXTERN ext\nS0 .EQU ext\n" + "".join("S%d .EQU S%d+1\n" % (i, i - 1) for i in range(1, n + 1))
            + " .word S%d\n" % n)


def label(n):
    return (HEADER + "lab: .word 0\n .word s0\n" + "".join("s%d .EQU s%d+1\n" % (i, i + 1) for i in range(n))
            + "s%d .EQU lab\n" % n)


def alias(n):
    return (HEADER + " .word 0\na%d: .word 0\n" % n + "".join("a%d .ALIAS a%d\n" % (i, i + 1) for i in range(n))
            + " .word a0\n")


def minus_k(n):
    return (HEADER + "k .EQU 1\n .word s0\n" + "".join("s%d .EQU s%d-k\n" % (i, i + 1) for i in range(n))
            + "s%d .EQU 0\n" % n)


def minus_1(n):
    return HEADER + " .word s0\n" + "".join("s%d .EQU s%d-1\n" % (i, i + 1) for i in range(n)) + "s%d .EQU 0\n" % n


def minus_lab(n):
    return (HEADER + "lab: .word 0\nlab2: .word 0\n .word s0\n"
            + "".join("s%d .EQU lab2-s%d\n" % (i, i + 1) for i in range(n)) + "s%d .EQU lab\n" % n)


def cycle(n):
    return HEADER + " .word 0\n" + "".join("s%d .EQU s%d+1\n" % (i, (i + 1) % n) for i in range(n))


CASES = {"plus": plus, "global": global_, "extern": extern, "label": label, "alias": alias,
         "minus-k": minus_k, "minus-1": minus_1, "minus-lab": minus_lab, "cycle": cycle}
OPTIONS = ["", "-g", "-l -Lv", "--emit-locals=e"]


def run(binary, source, options, timeout, cwd):
    command = ["/usr/bin/time", "-f", "%e s %M KB", binary] + options.split() + [source, "-o", "out.o"]
    try:
        done = subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "more than %d s" % timeout
    figures = done.stderr.strip().splitlines()[-1] if done.stderr.strip() else "?"
    return "%s, status %d" % (figures, done.returncode)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("binary", nargs="?")
    parser.add_argument("--links", type=int, action="append", help="chain length (repeatable; default 20000)")
    parser.add_argument("--case", action="append", choices=sorted(CASES), help="source (repeatable; default all)")
    parser.add_argument("--options", action="append", help="option set (repeatable; default four sets)")
    parser.add_argument("--timeout", type=int, default=120)
    parser.add_argument("--write", metavar="DIR", help="write the sources into DIR and stop")
    args = parser.parse_args()
    links = args.links or [20000]
    cases = args.case or list(CASES)
    option_sets = args.options if args.options is not None else OPTIONS
    if args.write:
        os.makedirs(args.write, exist_ok=True)
        for name in cases:
            for n in links:
                with open(os.path.join(args.write, "%s-%d.asm" % (name, n)), "w") as out:
                    out.write(CASES[name](n))
        return 0
    if not args.binary:
        parser.error("a binary to measure is needed")
    binary = os.path.abspath(args.binary)
    with tempfile.TemporaryDirectory() as work:
        for name in cases:
            for n in links:
                source = "%s-%d.asm" % (name, n)
                with open(os.path.join(work, source), "w") as out:
                    out.write(CASES[name](n))
                for options in option_sets:
                    print("%-8s %7d %-16s %s" % (name, n, options or "(none)",
                                                  run(binary, source, options, args.timeout, work)), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
