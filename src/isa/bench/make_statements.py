#!/usr/bin/env python3
"""Writes N mixed instruction statements, one a line, for the throughput run of isa-probe.

    src/isa/bench/make_statements.py 1000000 > statements.txt
    /usr/bin/time -v build/isa-probe < statements.txt > /dev/null

The mix covers registers, immediates, base-plus-offset operands with numbers and symbols,
and symbols as jump and call targets. The output depends only on N and --seed.
"""
import argparse
import random
import sys

STATEMENTS = [
    "mov d{d},#{imm4}",
    "mov d{d},#{imm16}",
    "add d{d},d{d2},d{d3}",
    "sub d{d},d{d2},d{d3}",
    "addi d{d},d{d2},#{imm16}",
    "mov.a a{a},d{d}",
    "mov.aa a{a},a{a2}",
    "ld.w d{d},[a{a}]{off}",
    "ld.w d{d},[a{a}]{sym}",
    "ld.a a{a},[a{a2}]{off}",
    "st.w [a{a}]{off},d{d}",
    "st.w [a{a}]-4,d{d}",
    "lea a{a},[a{a2}]{sym}",
    "j {sym}",
    "call {sym}",
    "jeq d{d},d{d2},{sym}",
    "jne d{d},#{imm4},{sym}",
    "and d{d},d{d2},#{imm8}",
    "sh d{d},d{d2},#{shift}",
    "nop",
    "ret",
]

SYMBOLS = ["foo", "bar", "lab", "loop_top", "table", "handler"]


def statement(rng):
    form = rng.choice(STATEMENTS)
    return form.format(
        d=rng.randrange(16), d2=rng.randrange(16), d3=rng.randrange(16),
        a=rng.randrange(2, 16), a2=rng.randrange(2, 16),
        imm4=rng.randrange(-8, 8), imm8=rng.randrange(256), imm16=rng.randrange(-100, 100),
        off=rng.randrange(-64, 64) * 4, shift=rng.randrange(-31, 32), sym=rng.choice(SYMBOLS))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("count", type=int)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    out = sys.stdout
    for _ in range(args.count):
        out.write(statement(rng))
        out.write("\n")


if __name__ == "__main__":
    main()
