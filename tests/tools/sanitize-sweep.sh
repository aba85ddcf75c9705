#!/usr/bin/env bash
# Runs a sanitizer build of vekt over every source of the test tree with several option
# sets and reports each run that draws a sanitizer report: AddressSanitizer (leaks
# included), UndefinedBehaviorSanitizer, or the exit status a sanitizer ends a run with.
# Diagnostics and the assembler's own statuses are not judged; lit does that.
#   tests/tools/sanitize-sweep.sh SANITIZED_VEKT [option set...]
# Default option sets: "" "-a" "-g" "-l" "-g -l" "--check".
set -u
vekt=$(realpath "${1:?usage: sanitize-sweep.sh SANITIZED_VEKT [option set...]}")
shift
if [ $# -gt 0 ]; then sets=("$@"); else sets=("" "-a" "-g" "-l" "-g -l" "--check"); fi
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t sources < <(find "$root/tests" \( -name '*.asm' -o -name '*.test' \) -not -path '*/node_modules/*' -type f | sort)

# A status no assembler run ends with, so that a sanitizer's stop is told apart.
sanitizer_status=86
export ASAN_OPTIONS="exitcode=$sanitizer_status:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="exitcode=$sanitizer_status:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LSAN_OPTIONS="exitcode=$sanitizer_status${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

runs=0 findings=0
for src in "${sources[@]}"; do
  for set in "${sets[@]}"; do
    # shellcheck disable=SC2086
    opts=($set)
    args=()
    for o in "${opts[@]+"${opts[@]}"}"; do
      if [ "$o" = -l ]; then args+=(--list-file=out.lst); else args+=("$o"); fi
    done
    rm -rf "$work/run" && mkdir "$work/run"
    # Sources that include others find them beside themselves; stdin is empty, so that a
    # source read from it does not wait.
    (cd "$work/run" && timeout 120 "$vekt" "${args[@]+"${args[@]}"}" -I "$(dirname "$src")" \
       -o out.o --dep-file=out.d "$src" </dev/null >/dev/null 2>stderr)
    status=$?
    runs=$((runs + 1))
    if [ "$status" -eq "$sanitizer_status" ] || [ "$status" -eq 124 ] ||
       grep -q -E '^(==[0-9]+==ERROR: |SUMMARY: (Address|Undefined|Leak)Sanitizer|.*runtime error: )' "$work/run/stderr"; then
      findings=$((findings + 1))
      echo "FINDING: ${src#"$root"/} [$set] status $status"
      grep -E 'ERROR: |runtime error: |SUMMARY: |^    #[0-9]+ ' "$work/run/stderr" | head -12
    fi
  done
done
rm -rf "$work/run"
echo "$runs runs, $findings with sanitizer findings"
[ "$findings" -eq 0 ]
