#!/bin/sh
# Installs the Debian packages that building and testing vekt need, when missing, and the
# test-only npm packages of tests/ (the independent disassembler of the encoding check).
set -e
# qemu-system-misc brings qemu-system-tricore, on which the end-to-end programs run.
packages="cmake ninja-build g++ libgtest-dev llvm-14-tools llvm binutils python3 qemu-system-misc"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
# node may come from elsewhere than Debian: ask for the commands, not the packages.
command -v node >/dev/null 2>&1 || missing="$missing nodejs"
command -v npm >/dev/null 2>&1 || missing="$missing npm"
if [ -n "$missing" ]; then
  echo "installing:$missing"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi

# npm writes node_modules/.package-lock.json on every install: older than the lock file
# means the lock changed since.
tests="$(cd "$(dirname "$0")/../tests" && pwd)"
if [ ! -f "$tests/node_modules/.package-lock.json" ] ||
   [ "$tests/package-lock.json" -nt "$tests/node_modules/.package-lock.json" ]; then
  npm ci --prefix "$tests" --no-audit --no-fund --loglevel=error >/dev/null
fi
