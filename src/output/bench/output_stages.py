#!/usr/bin/env python3
"""Times the stages after the parse: layout and the object file, debug information, the list.

    src/output/bench/output_stages.py build/vekt
    src/output/bench/output_stages.py build/vekt --lines 1000000 --runs 3

One generated source (register ALU, load immediate, load with offset, a conditional jump
back to the last label, xor; a label every ten lines) is assembled four ways: --check
(preprocess and parse only), a full assembly, a full assembly with -g and one with a list
file. For each the script prints the best user+system time and the largest peak memory of
--runs runs, per line, and what the run adds: the full assembly to --check (layout and
object output), -g and the list file each to the full assembly.
"""
import argparse
import os
import subprocess
import sys
import tempfile

REGISTERS = ["d1", "d2", "d3", "d4", "d5", "d6"]


def write_source(path, lines):
    with open(path, "w") as out:
        out.write(' .SDECL ".text",CODE\n .SECT ".text"\n')
        for i in range(lines):
            if i % 10 == 0:
                out.write(f"L{i}:\n")
            a, b = REGISTERS[i % 6], REGISTERS[(i * 7 + 3) % 6]
            kind = i % 5
            if kind == 0:
                out.write(f" add {a},{b}\n")
            elif kind == 1:
                out.write(f" mov {a},#{i & 0x7FFF}\n")
            elif kind == 2:
                out.write(f" ld.w {b},[a{2 + i % 4}]{(i % 64) * 4}\n")
            elif kind == 3:
                out.write(f" jne {a},{b},L{(i // 10) * 10}\n")
            else:
                out.write(f" xor {a},{b}\n")


def run_once(command):
    """User+system seconds, peak memory (KB) and exit status of one run, from its own rusage."""
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, wait_status, usage = os.wait4(child.pid, 0)
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss, os.waitstatus_to_exitcode(wait_status)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("vekt")
    parser.add_argument("--lines", type=int, default=200000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    vekt = os.path.abspath(args.vekt)
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "stages.asm")
        write_source(source, args.lines)
        output = os.path.join(work, "stages.o")
        runs = [
            ("--check", ["--check"]),
            ("full", []),
            ("-g", ["-g"]),
            ("-l", [f"--list-file={os.path.join(work, 'stages.lst')}"]),
        ]
        results = []
        for name, options in runs:
            best, peak, status = None, 0, 0
            for _ in range(args.runs):
                seconds, maxrss, status = run_once([vekt, *options, "-o", output, source])
                best = seconds if best is None else min(best, seconds)
                peak = max(peak, maxrss)
            results.append((name, best, peak, status))
    print(f"{args.lines} lines, best of {args.runs}")
    print(f"{'run':8} {'us/line':>8} {'B/line':>8} {'adds us/line':>13} {'adds B/line':>12}  status")
    for index, (name, seconds, peak, status) in enumerate(results):
        base = results[1] if index >= 2 else results[0]
        added_time = (seconds - base[1]) * 1e6 / args.lines if index else 0.0
        added_memory = (peak - base[2]) * 1024 / args.lines if index else 0.0
        print(f"{name:8} {seconds * 1e6 / args.lines:8.2f} {peak * 1024 / args.lines:8.0f} "
              f"{added_time:13.2f} {added_memory:12.0f}  {status}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
