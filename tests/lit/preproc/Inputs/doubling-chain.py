"""Writes a source of forty macro levels, each calling the one below twice, and a
call of the top one. The first argument is the innermost body ("|" between its
lines); with "every" as the second, each level above holds it too, before and
between its calls."""
import sys

body = sys.argv[1].replace("|", "\n")
every = len(sys.argv) > 2 and sys.argv[2] == "every"
out = [' .SDECL ".d",data', ' .SECT ".d"', "m0 .MACRO", body, " .ENDM"]
for k in range(1, 40):
    around = [body] if every else []
    out += ["m%d .MACRO" % k] + around + [" m%d" % (k - 1)] + around + [" m%d" % (k - 1), " .ENDM"]
print("\n".join(out + [" m39"]))
