#!/bin/sh
# Cross-builds libsndfile and the codec libraries it reads FLAC with (and
# Ogg Vorbis and Opus, which its build takes together with FLAC) for
# Windows with mingw-w64, from Debian's source packages of this machine's
# release, as DLLs. Made once a kind and a set of versions, into
# /var/cache/pellory (PELLORY_LIBS_ROOT names another place); prints the
# prefix they are installed in.
#
#   scripts/windows-sndfile.sh win32|win64
set -eu
cd "$(dirname "$0")/.."
SRC=$(pwd)
KIND=$1
case $KIND in
  win32) toolchain=$SRC/cmake/mingw-i686.cmake ;;
  win64) toolchain=$SRC/cmake/mingw-x86_64.cmake ;;
  *) echo "usage: $0 win32|win64" >&2; exit 2 ;;
esac
# The source packages, in the order each needs the ones before.
PACKAGES="libogg libvorbis flac opus libsndfile"
ROOT=${PELLORY_LIBS_ROOT:-/var/cache/pellory}
sh scripts/install-deps.sh sources >&2
versions=$(for p in $PACKAGES; do
  apt-cache showsrc "$p" | sed -n 's/^Version: //p' | sort -V | tail -n 1
done | tr '\n' ' ')
PREFIX=$ROOT/sndfile-$KIND-$(echo "$versions" | cksum | cut -d' ' -f1)
if [ -f "$PREFIX/.complete" ]; then
  echo "$PREFIX"
  exit 0
fi
echo "building libsndfile for $KIND (once): $versions" >&2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellory-sndfile-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
rm -rf "$PREFIX"
(cd "$WORK" && apt-get source -qq $PACKAGES >/dev/null 2>&1)
# The project's toolchain, whose searches also look in the prefix, where
# each library finds the ones built before it.
printf 'include(%s)\nlist(APPEND CMAKE_FIND_ROOT_PATH %s)\n' \
  "$toolchain" "$PREFIX" > "$WORK/toolchain.cmake"
# Each as a shared library, without its programs, tests or documents; no
# stack protector (it would need mingw's libssp DLL as well).
common="-DCMAKE_TOOLCHAIN_FILE=$WORK/toolchain.cmake -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX=$PREFIX -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF"
build() {
  name=$1
  shift
  dir=$(find "$WORK" -maxdepth 1 -type d -name "$name-*" | head -n 1)
  cmake -S "$dir" -B "$dir/build" $common "$@" >/dev/null
  cmake --build "$dir/build" -j 2 >/dev/null
  cmake --install "$dir/build" >/dev/null
}
# Ogg's and Vorbis's export lists are written for Microsoft's linker (a
# LIBRARY line naming ogg.dll where mingw's makes libogg.dll, or none);
# mingw's linker exports every symbol without them.
sed -i 's|list(APPEND \([A-Z]*_SOURCES\) [./]*win32/.*\.def)|# &|' \
  "$WORK"/libogg-*/CMakeLists.txt "$WORK"/libvorbis-*/lib/CMakeLists.txt
build libogg -DINSTALL_DOCS=OFF
build libvorbis
build flac -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
  -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_STACK_PROTECTOR=OFF \
  -DWITH_FORTIFY_SOURCE=OFF -DWITH_OGG=ON
# Opus's release carries no complete CMake build: its configure script.
opus=$(find "$WORK" -maxdepth 1 -type d -name "opus-*" | head -n 1)
case $KIND in
  win32) host=i686-w64-mingw32 ;;
  win64) host=x86_64-w64-mingw32 ;;
esac
(cd "$opus" && ./configure -q --host=$host --prefix="$PREFIX" \
  CC=$host-gcc-posix CPPFLAGS=-D_FORTIFY_SOURCE=0 --disable-static \
  --disable-doc --disable-hardening \
  --disable-extra-programs --disable-stack-protector >/dev/null &&
  make -j 2 >/dev/null && make install >/dev/null)
build libsndfile -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
  -DENABLE_MPEG=OFF -DENABLE_CPACK=OFF -DENABLE_EXTERNAL_LIBS=ON \
  -DINSTALL_PKGCONFIG_MODULE=OFF
touch "$PREFIX/.complete"
echo "$PREFIX"
