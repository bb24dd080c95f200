#!/bin/sh
# Builds a Linux release package in a root file system of Debian 11, the
# oldest system the packages support, so that what it needs of the C
# library is what Debian 11 has (glibc 2.31); its C++ runtime goes into the
# package (PELLORY_SHIP_RUNTIME). The root is made once with debootstrap
# from the machine's own Debian mirror and kept in ROOT; the source folder
# is mounted into it at the same path, so the build folder lies in the
# source tree as any other.
#
#   scripts/old-system.sh x86_64|aarch64 BUILD
set -eu
cd "$(dirname "$0")/.."
SRC=$(pwd)
ARCH=$1
BUILD=$2
ROOT=${PELLORY_OLD_ROOT:-/var/cache/pellory/debian11}
if [ ! -f "$ROOT/.complete" ]; then
  command -v debootstrap >/dev/null 2>&1 ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
  # The mirror apt already uses here.
  mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources \
    2>/dev/null | head -n 1)
  [ -n "$mirror" ] ||
    mirror=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list)
  echo "making a Debian 11 root in $ROOT (once)"
  rm -rf "$ROOT"
  mkdir -p "$ROOT"
  debootstrap --variant=minbase \
    --include=g++,make,cmake,python3,g++-aarch64-linux-gnu \
    bullseye "$ROOT" "$mirror" >/dev/null
  touch "$ROOT/.complete"
fi
case $ARCH in
  x86_64) toolchain= library=libsndfile1-dev ;;
  aarch64)
    toolchain=-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux.cmake
    library=libsndfile1-dev:arm64 ;;
  *) echo "usage: $0 x86_64|aarch64 BUILD" >&2; exit 2 ;;
esac
# libsndfile as Debian 11 has it, for the processor (arm64's beside the
# root's own, as Debian's multiarch installs it): added once to a root
# made before the program read audio files.
if ! chroot "$ROOT" dpkg -s "$library" >/dev/null 2>&1; then
  echo "adding $library to the Debian 11 root (once)"
  [ "$ARCH" = aarch64 ] && chroot "$ROOT" dpkg --add-architecture arm64
  chroot "$ROOT" apt-get update -qq >/dev/null
  chroot "$ROOT" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "$library" >/dev/null
fi
# The archive's dates are the commit's: the root has no git.
date=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
mkdir -p "$ROOT$SRC"
unshare -m sh -c "mount --bind '$SRC' '$ROOT$SRC' &&
  exec chroot '$ROOT' env SOURCE_DATE_EPOCH=$date sh -c '
    cd \"$SRC\" &&
    cmake -S . -B \"$BUILD\" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPELLORY_TESTS=OFF -DPELLORY_SHIP_RUNTIME=ON $toolchain >/dev/null &&
    cmake --build \"$BUILD\" -j 2 --target package >/dev/null'"
ls "$BUILD"/Pellory-*-linux-*.tar.gz
