#!/usr/bin/env python3
"""Says where a run's memory is when the object file is about to be written.

    src/util/bench/memory_parts.py build/vekt big.asm
    src/util/bench/memory_parts.py build/vekt big.asm --stop ErrorHandler::printRecorded -- --check

Runs vekt under gdb (a build with debug information: the default one) to a stop point,
the start of the object output unless --stop names another function, and prints there
what the run holds: the bytes in use of each pooled class (flow nodes, symbols,
expressions...), the line records and line texts of the line arena, and the resident
memory of the process. Then it runs vekt alone and prints its peak memory and the
resident memory it had in its largest mappings at the peak, sampled. A benchmark to
read, not a test: the figures are the run's own, the sampled peak may miss a short one.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

GDB_SCRIPT = r"""
set pagination off
set confirm off
break {stop}
run
python
import gdb
pools = gdb.parse_and_eval("_currentRun->pools()")
slots = pools["pools_"]["_M_impl"]
start, finish = slots["_M_start"], slots["_M_finish"]
used = []
for index in range(int(finish - start)):
    pool = (start + index).dereference()
    if int(pool) == 0:
        continue
    name = gdb.parse_and_eval("_currentRun->pools().nameOf((MemPool*)%d)" % int(pool))
    used.append((int(pool["inUse"]), name.string() if int(name) else "?"))
used.sort(reverse=True)
print("POOLS %d" % sum(size for size, _ in used))
for size, name in used:
    if size:
        print("POOL %d %s" % (size, name))
arena = gdb.parse_and_eval("_currentRun->lineArena")
if int(arena):
    print("LINES %d" % int(arena["nextNumber_"]))
    print("RECORDS %d" % int(arena["records_"]["ready"]))
    print("TEXTS %d" % int(arena["texts_"]["ready"]))
pid = gdb.selected_inferior().pid
for line in open("/proc/%d/status" % pid):
    if line.startswith("VmRSS"):
        print("RSS %d" % (int(line.split()[1]) * 1024))
end
kill
quit
"""


def megabytes(count):
    return "%8.1f MB" % (count / 1e6)


def parts_at_stop(vekt, source, stop, options):
    with tempfile.NamedTemporaryFile("w", suffix=".gdb", delete=False) as script:
        script.write(GDB_SCRIPT.format(stop=stop))
    try:
        result = subprocess.run(["gdb", "-q", "-batch", "-x", script.name, "--args", vekt, *options, "-o",
                                 "memory-parts.o", source],
                                capture_output=True, text=True, cwd=tempfile.gettempdir())
    finally:
        os.unlink(script.name)
    lines = [line for line in result.stdout.splitlines() if re.match(r"^(POOLS|POOL|LINES|RECORDS|TEXTS|RSS) ", line)]
    if not lines:
        sys.exit("gdb did not reach %s:\n%s" % (stop, result.stdout[-2000:] + result.stderr[-2000:]))
    print("at %s:" % stop)
    for line in lines:
        word, value, *rest = line.split(" ", 2)
        value = int(value)
        if word == "POOLS":
            print("  pooled classes     %s" % megabytes(value))
        elif word == "POOL" and value >= 100000:
            print("    %-16s %s" % (rest[0] if rest else "?", megabytes(value)))
        elif word == "LINES":
            print("  line records made  %10d" % value)
        elif word == "RECORDS":
            print("  line records       %s" % megabytes(value))
        elif word == "TEXTS":
            print("  line texts         %s" % megabytes(value))
        elif word == "RSS":
            print("  resident           %s" % megabytes(value))


def sampled_peak(vekt, source, options):
    process = subprocess.Popen([vekt, *options, "-o", "memory-parts.o", source], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, cwd=tempfile.gettempdir())
    best = (0, [])
    while process.poll() is None:
        try:
            maps, total, current = [], 0, None
            for line in open("/proc/%d/smaps" % process.pid):
                if re.match(r"^[0-9a-f]+-[0-9a-f]+ ", line):
                    current = line.split()
                elif line.startswith("Rss:"):
                    size = int(line.split()[1]) * 1024
                    total += size
                    if size:
                        maps.append((size, current[-1] if len(current) > 5 else "[anonymous]"))
            if total > best[0]:
                best = (total, maps)
        except OSError:
            break
        time.sleep(0.005)
    print("sampled peak        %s" % megabytes(best[0]))
    for size, name in sorted(best[1], reverse=True)[:8]:
        print("  %s  %s" % (megabytes(size), name))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vekt")
    parser.add_argument("source")
    parser.add_argument("--stop", default="OrbaAssembler::writeObject")
    # The vekt options come after "--".
    own, options = (sys.argv[1:], [])
    if "--" in own:
        at = own.index("--")
        own, options = own[:at], own[at + 1:]
    args = parser.parse_args(own)
    args.options = options
    vekt = os.path.abspath(args.vekt)
    source = os.path.abspath(args.source)
    parts_at_stop(vekt, source, args.stop, args.options)
    sampled_peak(vekt, source, args.options)


if __name__ == "__main__":
    main()
