#!/bin/sh
# Gathers the release into release/: the Linux x86-64, Linux arm64, 64-bit
# and 32-bit Windows packages the four builds made (their `package`
# target), and SHA256SUMS over them; then checks each package as a user
# would.
#
#   scripts/release.sh LINUX_BUILD ARM64_BUILD WINDOWS_BUILD WINDOWS64_BUILD
set -eu
cd "$(dirname "$0")/.."
VERSION=$(sed -n 's/^project(Pellory VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
OUT=release
rm -rf "$OUT"
mkdir -p "$OUT"
cp "$1/Pellory-$VERSION-linux-x86_64.tar.gz" \
  "$2/Pellory-$VERSION-linux-aarch64.tar.gz" \
  "$3/Pellory-$VERSION-win32.zip" "$4/Pellory-$VERSION-win64.zip" "$OUT/"
(cd "$OUT" && sha256sum Pellory-* > SHA256SUMS)
ls -l "$OUT"

. scripts/wine.sh
trap stop_wine EXIT
start_wine win64
win32="$OUT/Pellory-$VERSION-win32.zip"
if ! runs_32bit_code; then
  echo "NOT RUN: $win32 (this machine refuses 32-bit programs)"
  win32=
fi
sh scripts/check-packages.sh "$OUT/Pellory-$VERSION-linux-x86_64.tar.gz" \
  "$OUT/Pellory-$VERSION-linux-aarch64.tar.gz" "$OUT/Pellory-$VERSION-win64.zip" \
  $win32
