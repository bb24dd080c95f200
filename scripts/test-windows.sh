#!/bin/sh
# Runs a Windows build's tests under Wine, then the packaged program as a
# user unzips and runs it, against the Linux package.
#
#   scripts/test-windows.sh WINDOWS_BUILD LINUX_BUILD [win32|win64]
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WIN_BUILD=$1
LINUX_BUILD=$2
KIND=${3:-win32}

. scripts/wine.sh
if [ "$KIND" = win32 ] && ! runs_32bit_code; then
  # Only what reads the build without running it.
  echo "NOT RUN: the 32-bit Windows build's tests and package check:"
  echo "$(no_32bit_reason). Its exports only:"
  ctest --test-dir "$WIN_BUILD" -R windows_exports --output-on-failure
  exit 0
fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellory-windows-XXXXXX")
trap 'stop_wine; rm -rf "$WORK"' EXIT
start_wine "$KIND"

ctest --test-dir "$WIN_BUILD" --timeout 300 --output-on-failure

# The packaged program unzipped and run as a user would, against the Linux
# package of the same sources.
VERSION=$(sed -n 's/^project(Pellory VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
status=0
sh scripts/check-packages.sh \
  "$LINUX_BUILD/Pellory-$VERSION-linux-$(uname -m).tar.gz" \
  "$WIN_BUILD/Pellory-$VERSION-$KIND.zip" || status=1
# And at a console, as Wine gives it one on a terminal.
cmake -E chdir "$WORK" cmake -E tar xf "$ROOT/$WIN_BUILD/Pellory-$VERSION-$KIND.zip"
python3 tests/windows_console_check.py "$WORK/Pellory-$VERSION-$KIND" ||
  status=1
exit $status
