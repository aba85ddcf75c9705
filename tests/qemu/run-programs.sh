#!/usr/bin/env bash
# Assembles each program of this folder in absolute mode and runs it on the TriCore
# test board of qemu-system-tricore. A word stored to 0xf0000000 ends the emulator
# with that word as its exit status (the shell sees its low byte); each program
# names the status it must end with on an "; EXPECT:" line, and a TC1.6 program
# says "; CORE: tc1.6", which also selects a TC1.6 machine model.
set -u
vekt=${1:?usage: run-programs.sh VEKT [WORKDIR]}
work=${2:-$(mktemp -d)}
here=$(cd "$(dirname "$0")" && pwd)
qemu=${QEMU_TRICORE:-qemu-system-tricore}
mkdir -p "$work"
passed=0 failed=0
for source in "$here"/*.asm; do
  name=$(basename "$source" .asm)
  expected=$(sed -n 's/^; EXPECT: //p' "$source")
  core=$(sed -n 's/^; CORE: //p' "$source")
  if [ -z "$expected" ]; then
    echo "FAIL $name: no EXPECT line"; failed=$((failed + 1)); continue
  fi
  assemble=(-a) machine=()
  if [ -n "$core" ]; then
    assemble+=("--core=$core")
    machine=(-cpu tc27x)
  fi
  if ! "$vekt" "${assemble[@]}" "$source" -o "$work/$name.elf"; then
    echo "FAIL $name: does not assemble"; failed=$((failed + 1)); continue
  fi
  # No input: with -nographic the monitor would otherwise read the test's stdin.
  timeout 10 "$qemu" -M tricore_testboard -nographic "${machine[@]}" \
    -kernel "$work/$name.elf" -device loader,addr=0x80000000,cpu-num=0 \
    </dev/null >"$work/$name.out" 2>&1
  status=$?
  if [ "$status" -eq "$expected" ]; then
    echo "PASS $name: status $status"; passed=$((passed + 1))
  else
    # 124: the program never reached the store that ends the run.
    echo "FAIL $name: status $status, expected $expected"; failed=$((failed + 1))
    sed 's/^/  | /' "$work/$name.out"
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
