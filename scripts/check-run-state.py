#!/usr/bin/env python3
"""Fails when a compiled source keeps mutable state outside the run's state object.

Reads the symbol tables of the object files given (the compiler's own view, so that no
spelling of a declaration escapes): every data object in a writable section (.bss,
.data, thread-local) is state that would outlive a run, unless it is listed below with
the reason it may stay. Read-only data (.rodata, .data.rel.ro) is constant and passes. Objects of generated
sources (under a generated/ folder) are read as well: generated tables are constant, and
what a run computes from them belongs to the run.

Usage: check-run-state.py OBJECT...   (objects of sources under a src/ or generated/ folder)
"""
import re
import subprocess
import sys

WRITABLE = re.compile(r"^\.(bss|data|tbss|tdata)(\.|$)")
READ_ONLY = re.compile(r"^\.data\.rel\.ro(\.|$)")

# (source file, demangled symbol) patterns that may stay, each with its reason.
ALLOWED = [
    # The run-state machinery itself: the current run, the run made for library callers
    # without a driver, and the process-wide numbering of part kinds and pool handles.
    (r"util/RunState\.cpp", r".*"),
    (r".*", r"::poolSlot$"),
    (r".*", r"^runPart<.*>\(\)::index$"),
    # Constant tables built once from constant data: no run can change them.
    (r"isa/DefectChecks\.cpp", r"::checkCpuDefects\(.*\)::kSwitches$"),
    (r"parser/LineScanner\.cpp", r"::keywords\(\)::table$"),
    # Read by the signal handler, which may only touch volatile sig_atomic_t flags and
    # lock-free atomics; the start of each run resets what belongs to the run.
    (r"util/interrupt\.cpp", r".*"),
    # The outputs the signal handler removes: it must reach them without the run (it may
    # not allocate or follow what a run is tearing down); each run's start resets them.
    (r"util/OutputFile\.cpp", r"^\(anonymous namespace\)::registry$"),
]


def object_symbols(path):
    """(section, demangled name) of every data object defined in the file."""
    out = subprocess.run(["objdump", "-t", "-C", path], check=True, capture_output=True,
                         text=True).stdout
    for line in out.splitlines():
        # value, flags (7 columns of characters), section, size, name
        match = re.match(r"^[0-9a-f]+ (.{7}) (\S+)\s+[0-9a-f]+\s+(.*)$", line)
        if not match or "O" not in match.group(1):
            continue
        name = match.group(3).strip()
        # Sanitizer and coverage instrumentation adds objects of its own; they are not
        # the program's state.
        if re.match(r"^_*(odr_asan|asan|ubsan|sancov|__sancov|__llvm)", name):
            continue
        yield match.group(2), name


def source_of(path):
    """The source an object was compiled from: below src/, or generated/ and its path."""
    match = re.search(r"^(?:.*/)?(src|generated)/(.+?)\.o$", path)
    if not match:
        return None
    return match.group(2) if match.group(1) == "src" else f"generated/{match.group(2)}"


def main() -> int:
    faults = []
    objects = [arg for arg in sys.argv[1:] if arg.endswith(".o")]
    if not objects:
        print("check-run-state: no object files given", file=sys.stderr)
        return 2
    for path in objects:
        source = source_of(path)
        if source is None:
            print(f"check-run-state: {path} is not an object of src/ or generated/", file=sys.stderr)
            return 2
        for section, name in object_symbols(path):
            if not WRITABLE.match(section) or READ_ONLY.match(section):
                continue
            if name.startswith("guard variable for "):
                continue  # belongs to a function static that is reported itself
            if "DW.ref." in name:
                continue  # the compiler's reference to the exception personality
            if any(re.fullmatch(f, source) and re.search(n, name) for f, n in ALLOWED):
                continue
            faults.append(f"{source}: mutable {section} object {name}")
    for fault in sorted(faults):
        print(fault)
    sys.stdout.flush()  # the list before the count, also when both go to one pipe
    if faults:
        print(f"{len(faults)} mutable variables outside the run's state "
              "(move them into a part reached through runPart<T>())", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
