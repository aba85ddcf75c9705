#!/usr/bin/env bash
# Reads every object file under a directory (the end-to-end tests leave theirs in their
# Output folders) with readelf, llvm-readelf and nm, and fails when any of them says
# more than that it does not know a relocation type.
set -u
dir=${1:?usage: check-objects.sh DIR}
tools=(readelf llvm-readelf nm)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || { echo "check-objects: $tool not found"; exit 1; }
done
count=0 failed=0
while IFS= read -r -d '' object; do
  count=$((count + 1))
  for tool in "${tools[@]}"; do
    case $tool in nm) args=() ;; *) args=(-a) ;; esac
    if ! messages=$("$tool" "${args[@]}" "$object" 2>&1 >/dev/null); then
      echo "$tool failed on $object:"; echo "$messages"; failed=1; continue
    fi
    complaints=$(grep -v -i -E 'unknown relocation|unrecognized' <<<"$messages" | grep -v '^$')
    if [ -n "$complaints" ]; then
      echo "$tool complains about $object:"; echo "$complaints"; failed=1
    fi
  done
done < <(find "$dir" -name '*.o' -type f -print0)
if [ "$count" -eq 0 ]; then echo "check-objects: no object files under $dir"; exit 1; fi
echo "check-objects: $count object files read"
exit $failed
