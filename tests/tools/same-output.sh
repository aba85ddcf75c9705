#!/usr/bin/env bash
# Runs two vekt builds over every source of the test tree and the parser's fuzz corpus,
# with several option sets, and reports each run whose object, list file, dependency
# file, diagnostics or exit status differ. A guard for internal rewrites that must not
# change what a user sees.
#   tests/tools/same-output.sh OLD_VEKT NEW_VEKT [option set...]
# Default option sets: "" "-g" "-l" "-g -l" "--check".
set -u
old=$(realpath "${1:?usage: same-output.sh OLD_VEKT NEW_VEKT [option set...]}")
new=$(realpath "${2:?usage: same-output.sh OLD_VEKT NEW_VEKT [option set...]}")
shift 2
if [ $# -gt 0 ]; then sets=("$@"); else sets=("" "-g" "-l" "-g -l" "--check"); fi
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The object's note records the program name and the command line: run both builds under
# one name from one directory.
mkdir -p "$work/old" "$work/new"
cp "$old" "$work/old/vekt"; cp "$new" "$work/new/vekt"
old=$work/old/vekt new=$work/new/vekt
mapfile -t sources < <(find "$root/tests" \( -name '*.asm' -o -name '*.test' -o -path '*/corpus/parser_check/*' -o -path '*/corpus/preproc_*/*' \) -type f | sort)

run() { # run VEKT DIR SOURCE OPTIONS...: the outputs end up in DIR
  local vekt=$1 dir=$2 src=$3; shift 3
  mkdir -p "$work/run"
  (cd "$work/run" && timeout 20 "$vekt" "$@" -o out.o --dep-file=out.d "$src" >stdout 2>stderr; echo "status $?" >status)
  mv "$work/run" "$dir"
}

runs=0 diffs=0
for src in "${sources[@]}"; do
  for set in "${sets[@]}"; do
    # shellcheck disable=SC2086
    opts=($set)
    listopt=()
    for o in "${opts[@]+"${opts[@]}"}"; do [ "$o" = -l ] && listopt=(--list-file=out.lst); done
    filtered=()
    for o in "${opts[@]+"${opts[@]}"}"; do [ "$o" != -l ] && filtered+=("$o"); done
    run "$old" "$work/a" "$src" "${filtered[@]+"${filtered[@]}"}" "${listopt[@]+"${listopt[@]}"}"
    run "$new" "$work/b" "$src" "${filtered[@]+"${filtered[@]}"}" "${listopt[@]+"${listopt[@]}"}"
    runs=$((runs + 1))
    # The list file's header carries the date and time.
    for f in "$work"/a/out.lst "$work"/b/out.lst; do [ -f "$f" ] && sed -i '1,3{/[0-9][0-9]:[0-9][0-9]:[0-9][0-9]/d}' "$f"; done
    if ! diff -r "$work/a" "$work/b" >/dev/null; then
      diffs=$((diffs + 1))
      echo "DIFFERS: ${src#"$root"/} [$set]"
      diff -r "$work/a" "$work/b" | head -5
    fi
    rm -rf "$work/a" "$work/b"
  done
done
echo "$runs runs, $diffs differ"
[ "$diffs" -eq 0 ]
