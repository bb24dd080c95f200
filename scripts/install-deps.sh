#!/bin/sh
# Installs what the build and the tests need when the machine lacks it.
# A machine of this project's kind ships all of it, so this is usually a
# quick check that changes nothing.
#
#   scripts/install-deps.sh [build | windows | arm64 | sources]
#
# With "build", only what building the program and its plug-ins needs; with
# "windows", what the Windows cross build and its tests under Wine need;
# with "arm64", the Linux arm64 cross build and qemu-user to run it; with
# "sources", Debian's source packages in apt's lists.
set -e
# The package lists, fetched again; a mirror caught mid-sync fails one list
# ("File has unexpected size") while the rest are whole: tried three times,
# then the install goes on with what was fetched, and fails only if a
# package really cannot be had.
update_lists() {
  for try in 1 2 3; do
    $SUDO apt-get update -qq && return 0
    [ "$try" = 3 ] || sleep 10
  done
  echo "warning: some package lists could not be fetched; installing from the rest"
}
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
if [ "${1:-}" = sources ]; then
  # Debian's source packages, for the libraries the Windows builds make
  # from them: a deb-src line beside each deb line apt already uses.
  apt-cache showsrc libsndfile 2>/dev/null | grep -q '^Package:' && exit 0
  echo "adding Debian's source packages to apt's lists"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/pellory-deb-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      $SUDO tee /etc/apt/sources.list.d/pellory-deb-src.list >/dev/null
  fi
  update_lists
  command -v dpkg-source >/dev/null 2>&1 ||
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq dpkg-dev
  exit 0
fi
missing=""
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v g++ >/dev/null 2>&1 || missing="$missing g++"
command -v make >/dev/null 2>&1 || missing="$missing make"
[ -f /usr/include/sndfile.h ] || missing="$missing libsndfile1-dev"
if [ "${1:-}" = windows ]; then
  # The 32- and 64-bit Windows cross builds and Wine to test them (about
  # 400 MB).
  need=""
  command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 ||
    need="$need g++-mingw-w64-i686-posix"
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 ||
    need="$need g++-mingw-w64-x86-64-posix"
  command -v wine >/dev/null 2>&1 || need="$need wine"
  dpkg -s wine64 >/dev/null 2>&1 || need="$need wine64"
  [ -f /usr/src/googletest/CMakeLists.txt ] || need="$need googletest"
  need32=""
  dpkg -s wine32:i386 >/dev/null 2>&1 || need32=wine32
  [ -z "$need$need32" ] && exit 0
  if [ -n "$need" ]; then
    echo "installing:$need $need32"
    $SUDO dpkg --add-architecture i386
    update_lists
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq \
      --no-install-recommends $need
  fi
  # Wine's 32-bit half takes i386 libraries of the very versions this
  # machine has for itself; where the mirror's i386 lists lack one (a
  # security list caught mid-sync), the 32-bit build is built, not run.
  # Alone, it is tried with the lists at hand (fetching them again takes
  # half a minute a try): once the mirror has synced, `apt-get update` and
  # this script again install it.
  if [ -n "$need32" ] &&
    ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq \
      --no-install-recommends wine32 >/dev/null 2>&1; then
    echo "warning: wine32 could not be installed; the 32-bit Windows build's"
    echo "tests, package check and benchmark column will say NOT RUN"
  fi
  exit 0
fi
if [ "${1:-}" = arm64 ]; then
  # The arm64 cross compilers and their C library, qemu-user, and the
  # GoogleTest sources to build for arm64.
  need=""
  command -v aarch64-linux-gnu-g++ >/dev/null 2>&1 ||
    need="$need g++-aarch64-linux-gnu"
  command -v qemu-aarch64 >/dev/null 2>&1 || need="$need qemu-user"
  [ -f /usr/src/googletest/CMakeLists.txt ] || need="$need googletest"
  # libsndfile for arm64, beside this machine's own (Debian's multiarch).
  dpkg -s libsndfile1-dev:arm64 >/dev/null 2>&1 ||
    need="$need libsndfile1-dev:arm64"
  [ -z "$need" ] && exit 0
  echo "installing:$need"
  $SUDO dpkg --add-architecture arm64
  update_lists
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq \
    --no-install-recommends $need
  exit 0
fi
if [ "${1:-}" != build ]; then
command -v nm >/dev/null 2>&1 || missing="$missing binutils"
command -v python3 >/dev/null 2>&1 || missing="$missing python3"
[ -x /usr/bin/time ] || missing="$missing time"
command -v taskset >/dev/null 2>&1 || missing="$missing util-linux"
[ -f /usr/include/gtest/gtest.h ] || missing="$missing libgtest-dev"
[ -f /usr/include/benchmark/benchmark.h ] || missing="$missing libbenchmark-dev"
command -v clang++ >/dev/null 2>&1 || missing="$missing clang"
# The renderer the tests draw the SVG plot with, and the file system tools
# the full-disk save test formats its image with.
command -v rsvg-convert >/dev/null 2>&1 || missing="$missing librsvg2-bin"
command -v mkfs.ext2 >/dev/null 2>&1 || missing="$missing e2fsprogs"
# The audio tool the benchmarks compare with.
command -v sox >/dev/null 2>&1 || missing="$missing sox"
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  missing="$missing libclang-rt-dev"
fi
[ -z "$missing" ] && exit 0
echo "installing:$missing"
update_lists
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
