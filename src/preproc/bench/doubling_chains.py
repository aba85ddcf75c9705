#!/usr/bin/env python3
"""Time and peak memory of doubling macro chains: macros that call the one below twice.

    src/preproc/bench/doubling_chains.py build/vekt                # every chain, 40 levels
    src/preproc/bench/doubling_chains.py /tmp/old/vekt build/vekt  # two programs side by side
    src/preproc/bench/doubling_chains.py build/vekt --levels 22 --only title-nop,include-title
    src/preproc/bench/doubling_chains.py build/vekt -- -l -Lmx     # options for every run

Each chain has LEVELS macros m0 .. m(LEVELS-1); every level above m0 calls the one below
twice, and the source calls the top one, so the innermost body would run 2^(LEVELS-1)
times. At 40 levels that is far beyond the run-wide total of ten million expansion
lines: a chain ends with E110 (refused at the call when the lines can be counted ahead,
else when the total is reached) or with the error limit. The chains:

  title-nop         m0 holds $TITLE "t" and nop
  ident             m0 holds $IDENT GLOBAL
  debug             m0 holds $DEBUG "a"
  cpu               m0 holds $CPU_TC013 ON
  comment-prefix    m0 holds .COMMENT_PREFIX "!"
  operation-arg     every macro takes f; m0's body is the line f, each level passes f on,
                    and the source calls the top one with $TITLE "t" as the argument
  label-diagnostic  m0 holds l\\@: nop, a diagnostic in every expansion
  comment-bare      m0 holds .COMMENT_PREFIX ! (no string), a diagnostic in every expansion
  include-title     m0 includes a file that holds $TITLE "t"

For every program and chain the script prints the exit status, the first diagnostic,
the wall time and the peak resident memory that GNU time reports ('%e s %M KB'). The
figures depend on the machine; the expected ends are checked by the lit tests.
"""
import argparse
import os
import subprocess
import sys
import tempfile

CHAINS = {
    "title-nop": [' $TITLE "t"', " nop"],
    "ident": [" $IDENT GLOBAL"],
    "debug": [' $DEBUG "a"'],
    "cpu": [" $CPU_TC013 ON"],
    "comment-prefix": [' .COMMENT_PREFIX "!"'],
    "operation-arg": None,
    "label-diagnostic": ["l\\@: nop"],
    "comment-bare": [" .COMMENT_PREFIX !"],
    "include-title": [' .INCLUDE "title.inc"'],
}


def make_source(name, levels):
    out = [' .SDECL ".d",data', ' .SECT ".d"']
    if name == "operation-arg":
        out += ["m0 .MACRO f", " f", " .ENDM"]
        for k in range(1, levels):
            out += ["m%d .MACRO f" % k, " m%d f" % (k - 1), " m%d f" % (k - 1), " .ENDM"]
        out.append(' m%d $TITLE "t"' % (levels - 1))
    else:
        out += ["m0 .MACRO"] + CHAINS[name] + [" .ENDM"]
        for k in range(1, levels):
            out += ["m%d .MACRO" % k, " m%d" % (k - 1), " m%d" % (k - 1), " .ENDM"]
        out.append(" m%d" % (levels - 1))
    return "\n".join(out) + "\n"


def run(program, folder, source, options):
    stats = os.path.join(folder, "time.txt")
    command = ["/usr/bin/time", "-o", stats, "-f", "%e s %M KB", program] + options
    command += ["-o", os.path.join(folder, "chain.o"), source]
    result = subprocess.run(command, capture_output=True, cwd=folder)
    lines = result.stderr.decode(errors="replace").splitlines()
    first = lines[0].replace(source, "chain.asm") if lines else ""
    with open(stats) as f:
        figures = f.read().strip().splitlines()[-1]
    return result.returncode, first, len(lines), figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("programs", nargs="+", help="the vekt binaries to measure")
    parser.add_argument("--levels", type=int, default=40)
    parser.add_argument("--only", help="comma-separated chain names")
    argv = sys.argv[1:]
    options = argv[argv.index("--") + 1:] if "--" in argv else []
    args = parser.parse_args(argv[:argv.index("--")] if "--" in argv else argv)
    programs = [os.path.abspath(p) if os.sep in p else p for p in args.programs]
    names = args.only.split(",") if args.only else list(CHAINS)
    for name in names:
        if name not in CHAINS:
            sys.stderr.write("no chain named %s\n" % name)
            return 1
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "title.inc"), "w") as f:
            f.write(' $TITLE "t"\n')
        for name in names:
            source = os.path.join(folder, "chain.asm")
            with open(source, "w") as f:
                f.write(make_source(name, args.levels))
            for program in programs:
                status, first, count, figures = run(program, folder, source, options)
                print("%-17s %-22s status %d  %-16s %d lines, first: %s"
                      % (name, os.path.relpath(program), status, figures, count, first))
    return 0


if __name__ == "__main__":
    sys.exit(main())
