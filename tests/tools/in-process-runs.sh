#!/bin/sh
# Three sources assembled twice each, alternating, in one process must give the bytes
# that a program run of their own gives: object, list file, dependency file,
# diagnostics and status.
#
#   in-process-runs.sh VEKT VEKT_IN_PROCESS FIXTURES WORKDIR
set -e
vekt=$1
inprocess=$2
fixtures=$3
work=$4
rm -rf "$work"
mkdir -p "$work"

routine="-g -lout.lst -o out.o --dep-file=out.d $fixtures/routine.asm"
macros="-g -Lxmg -lout.lst -o out.o $fixtures/macros.asm"
faults="-lout.lst -o out.o $fixtures/faults.asm extra.asm"

# Every run works in the same directory, which the object names, and leaves its
# outputs in a directory of their own.
run="$work/run"
for name in routine macros faults; do
  eval "words=\$$name"
  mkdir "$run" "$work/alone-$name"
  # shellcheck disable=SC2086  # the words are split on purpose
  (cd "$run" && { "$vekt" $words >stdout 2>stderr && status=0 || status=$?; } && echo "$status" >status)
  mv "$run"/* "$work/alone-$name"
  rmdir "$run"
done

"$inprocess" "$vekt" "$run" \
  "$work/first-routine" "$routine" "$work/first-macros" "$macros" "$work/first-faults" "$faults" \
  "$work/second-routine" "$routine" "$work/second-macros" "$macros" "$work/second-faults" "$faults"

failed=0
for name in routine macros faults; do
  for round in first second; do
    if ! diff -r "$work/alone-$name" "$work/$round-$name"; then
      echo "$round in-process run of $name differs from its own program run"
      failed=1
    fi
  done
done
# The fixtures must reach every output: a silently missing file compares equal.
for file in alone-routine/out.o alone-routine/out.lst alone-routine/out.d alone-macros/out.o \
            alone-faults/out.lst; do
  [ -s "$work/$file" ] || { echo "no $file"; failed=1; }
done
[ -s "$work/alone-faults/stderr" ] || { echo "no diagnostics from faults.asm"; failed=1; }
exit $failed
