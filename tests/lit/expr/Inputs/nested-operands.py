# Prints one instruction statement per nesting construct, each operand nested n deep.
import sys

n = int(sys.argv[1])
print("mov d0,#" + "(" * n + "1" + ")" * n)
print("mov d0,#" + "~" * n + "1")
print("mov d0,#" + "@ABS(" * n + "1" + ")" * n)
print("mov d0,#" + "1?" * n + "1" + ":1" * n)
print("mov d0,#" + "x+" * n + "x")
