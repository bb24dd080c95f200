#!/bin/sh
# Checks a Linux x86-64 release package on the oldest system it supports:
# unpacked into a root that holds Debian 11's C library and libgcc (the
# files of its libc6 and libgcc-s1 packages) and nothing else, so that no
# C++ runtime but the package's own can be found, it runs the session that
# loads sample.txt, filters with all three plug-ins and saves, and what it
# saves must be what the development build saves. Then it lists, for every
# binary the package ships, the highest GLIBC_ version it needs and every
# GLIBCXX_ and CXXABI_ version, each of which the package's own runtime
# must provide.
#
#   scripts/check-old-system.sh PACKAGE.tar.gz DEVELOPMENT_BUILD
set -eu
ROOT=${PELLORY_OLD_ROOT:-/var/cache/pellory/debian11}
package=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
development=$(cd "$2" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellory-old-system-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
for deb in "$ROOT"/var/cache/apt/archives/libc6_*_amd64.deb \
           "$ROOT"/var/cache/apt/archives/libgcc-s1_*_amd64.deb; do
  dpkg-deb -x "$deb" "$WORK/root"
done
name=$(basename "$package" .tar.gz)
(cd "$WORK/root" && tar xzf "$package")
# /proc, as on any system: the loader finds the program's folder ($ORIGIN)
# there.
mkdir -p "$WORK/root/proc"
printf '1\nsample.txt\n5\n3\n2\n5\n2\n0.5\n2\n5\n1\n3\n4\n\n3\nsaved.txt\n' \
  > "$WORK/session"
if ! unshare --mount --pid --fork --mount-proc \
    --root="$WORK/root" --wd="/$name" "/$name/Pellory" \
    < "$WORK/session" > "$WORK/shown" 2> "$WORK/errors"; then
  echo "$name: the session did not run with Debian 11's C library alone:"
  cat "$WORK/errors"
  exit 1
fi
mkdir "$WORK/development"
cp -r "$development/run/DLL" "$development/run/sample.txt" "$WORK/development/"
(cd "$WORK/development" && "$development/bin/Pellory" < "$WORK/session" \
  > /dev/null)
if ! cmp -s "$WORK/root/$name/saved.txt" "$WORK/development/saved.txt"; then
  echo "$name: on Debian 11 it saved other samples than the development build"
  exit 1
fi
echo "$name: the session runs with Debian 11's C library alone and saves" \
  "what the development build saves"
# The versions each binary needs, from its version-needs section.
provided=$(objdump -T "$WORK/root/$name/libstdc++.so.6" |
  grep -o 'GLIBCXX_[0-9.]*\|CXXABI_[0-9.]*' | sort -u)
status=0
for binary in Pellory Mirrowen.dll Quillet.dll Tarrock.dll libstdc++.so.6 \
              libgcc_s.so.1; do
  needs=$(readelf -V --wide "$WORK/root/$name/$binary" |
    sed -n '/Version needs section/,$p' |
    sed -n 's/.*Name: \([A-Z]*_[0-9.]*\).*/\1/p' | sort -u -V)
  highest() { echo "$needs" | grep "^$1_" | tail -n 1; }
  printf '  %-16s needs %s %s %s\n' "$binary" "$(highest GLIBC)" \
    "$(highest GLIBCXX)" "$(highest CXXABI)"
  for version in $needs; do
    case $version in
      GLIBC_*)
        if [ "$(printf '%s\nGLIBC_2.31\n' "$version" | sort -V | tail -n 1)" \
             != GLIBC_2.31 ]; then
          echo "  $binary needs $version, past Debian 11's GLIBC_2.31"
          status=1
        fi ;;
      GLIBCXX_* | CXXABI_*)
        if ! echo "$provided" | grep -qx "$version"; then
          echo "  $binary needs $version, which its libstdc++ lacks"
          status=1
        fi ;;
    esac
  done
done
exit $status
