#!/bin/sh
# Gathers the release into release/: the Linux x86-64, Linux arm64, 64-bit
# and 32-bit Windows packages the four builds made (their `package`
# target), and SHA256SUMS over them; then checks each package as a user
# would, and ends with a table saying of each whether it was run and
# checked here or only built, and why.
#
#   scripts/release.sh LINUX_BUILD ARM64_BUILD WINDOWS_BUILD WINDOWS64_BUILD \
#     DEVELOPMENT_BUILD
#
# The Linux x86-64 package is also run on Debian 11's C library alone and
# compared with the development build, and built once more from a clean
# clone in a folder of another name, to the same bytes.
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
win32_status="run and checked (Wine, 32-bit)"
if ! runs_32bit_code; then
  echo "NOT RUN: $win32 ($(no_32bit_reason))"
  win32=
  win32_status="built only: $(no_32bit_reason) (its exports were checked"
  win32_status="$win32_status with the build's tests)"
fi
sh scripts/check-packages.sh "$OUT/Pellory-$VERSION-linux-x86_64.tar.gz" \
  "$OUT/Pellory-$VERSION-linux-aarch64.tar.gz" "$OUT/Pellory-$VERSION-win64.zip" \
  $win32

sh scripts/check-old-system.sh "$OUT/Pellory-$VERSION-linux-x86_64.tar.gz" "$5"
sh scripts/check-reproducible.sh "$OUT/Pellory-$VERSION-linux-x86_64.tar.gz"

echo
echo "Release $VERSION: what was run here and what was only built"
printf '%-36s %s\n' \
  "Pellory-$VERSION-linux-x86_64.tar.gz" \
  "run and checked (natively, and on Debian 11's C library alone)" \
  "Pellory-$VERSION-linux-aarch64.tar.gz" "run and checked (qemu-user)" \
  "Pellory-$VERSION-win64.zip" "run and checked (Wine, 64-bit)" \
  "Pellory-$VERSION-win32.zip" "$win32_status"
