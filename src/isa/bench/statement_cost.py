#!/usr/bin/env python3
"""Times whole runs over sources of one statement kind each: the cost a line of that kind.

    src/isa/bench/statement_cost.py build/vekt
    src/isa/bench/statement_cost.py build/vekt --lines 300000 --runs 5 --option=--check

Each source holds N lines of one statement, with a label every ten lines (--label-every)
that the jumps go back to, so that every jump reaches with its hardware form. For each kind the script
prints the best user+system time and the largest peak memory of --runs runs, per line,
and both as a ratio to the plain `add` source: a generic jump whose expansion is never
taken should stay close to an `add`, and so should statements that differ only in their
numbers or their comments (`mov`, `ld.w`, `ld.w ;`, `insert`).
"""
import argparse
import os
import subprocess
import sys
import tempfile

KINDS = [
    ("add", " add d1,d2\n"),
    ("mov", " mov d1,#{i}\n"),
    ("ld.w", " ld.w d1,[a2]{offset}\n"),
    ("ld.w ;", " ld.w d1,[a2]{offset} ; word {i}\n"),
    ("insert", " insert d1,d2,#{bit},#{pos},#{width}\n"),
    ("j", " j L{label}\n"),
    ("jne", " jne d1,d2,L{label}\n"),
    ("jne -OG", " jne d1,d2,L{label}\n"),
    ("loop", " loop a2,L{label}\n"),
]


def write_source(path, template, lines, every):
    with open(path, "w") as out:
        out.write(' .SDECL ".text",CODE\n .SECT ".text"\n')
        for i in range(lines):
            if i % every == 0:
                out.write(f"L{i}:\n")
            out.write(template.format(i=i & 0x7FFF, offset=(i % 64) * 4, label=(i // every) * every,
                                      bit=(i // 7) % 16, pos=(i * 13) % 17, width=(i // 3) % 16))


def run_once(command, report):
    """User+system seconds, peak memory (KB) and exit status of one run. The run goes through
    GNU time, which reports the peak: a child of this interpreter would count the
    interpreter's resident pages in its own, as the kernel keeps the largest one a process
    had across its exec. The seconds are the kernel's, to the microsecond, of time and the
    run together (time's own are a few hundred microseconds)."""
    child = subprocess.Popen(["/usr/bin/time", "-o", report, "-f", "%M", *command],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, wait_status, usage = os.wait4(child.pid, 0)
    with open(report) as figures:
        peak = int(figures.read().split()[-1])
    return usage.ru_utime + usage.ru_stime, peak, os.waitstatus_to_exitcode(wait_status)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("vekt")
    parser.add_argument("--lines", type=int, default=100000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--label-every", type=int, default=10, help="lines from one label to the next")
    parser.add_argument("--option", action="append", default=[], help="passed on to every run")
    args = parser.parse_args()
    vekt = os.path.abspath(args.vekt)
    results = []
    with tempfile.TemporaryDirectory() as work:
        for name, template in KINDS:
            source = os.path.join(work, "kind.asm")
            write_source(source, template, args.lines, args.label_every)
            options = list(args.option) + (["-OG"] if name.endswith("-OG") else [])
            command = [vekt, *options, "-o", os.path.join(work, "kind.o"), source]
            best, peak, status = None, 0, 0
            for _ in range(args.runs):
                seconds, maxrss, status = run_once(command, os.path.join(work, "time.out"))
                best = seconds if best is None else min(best, seconds)
                peak = max(peak, maxrss)
            results.append((name, best, peak, status))
    base_time, base_memory = results[0][1], results[0][2]
    print(f"{args.lines} lines a source, a label every {args.label_every}, best of {args.runs}")
    print(f"{'kind':10} {'us/line':>8} {'KB peak':>9} {'time/add':>9} {'mem/add':>8}  status")
    for name, seconds, peak, status in results:
        print(f"{name:10} {seconds * 1e6 / args.lines:8.2f} {peak:9d} {seconds / base_time:9.2f} "
              f"{peak / base_memory:8.2f}  {status}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
