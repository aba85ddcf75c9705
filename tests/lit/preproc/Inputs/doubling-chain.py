"""Writes a source of forty macro levels, each calling the one below twice, and a
call of the top one. The first argument is the innermost body ("|" between its
lines); with "every" as the second, each level above holds it too, before and
between its calls. With "arg" as the third, every macro takes an argument `a` and
passes it on to the level below, and the top one is called with `q`, a macro that
makes no line, or with the fourth argument when one is given."""
import sys

body = sys.argv[1].replace("|", "\n")
every = len(sys.argv) > 2 and sys.argv[2] == "every"
arg = len(sys.argv) > 3 and sys.argv[3] == "arg"
formal = " a" if arg else ""
out = [' .SDECL ".d",data', ' .SECT ".d"'] + (["q .MACRO", " .ENDM"] if arg else [])
out += ["m0 .MACRO" + formal, body, " .ENDM"]
for k in range(1, 40):
    around = [body] if every else []
    call = " m%d%s" % (k - 1, formal)
    out += ["m%d .MACRO%s" % (k, formal)] + around + [call] + around + [call, " .ENDM"]
top = sys.argv[4] if len(sys.argv) > 4 else "q"
print("\n".join(out + [" m39" + (" " + top if arg else "")]))
