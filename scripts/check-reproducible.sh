#!/bin/sh
# Builds the Linux x86-64 release package of the checked-out commit again,
# from a clean clone in a folder of another name, and checks that it is the
# same bytes as PACKAGE: nothing of the builder's folder, account or clock
# gets in.
#
#   scripts/check-reproducible.sh PACKAGE.tar.gz
set -eu
cd "$(dirname "$0")/.."
package=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellory-reproducible-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
git clone -q . "$WORK/another-folder"
# The same commit's time, whatever the clone's.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) \
  sh "$WORK/another-folder/scripts/old-system.sh" x86_64 build-old >/dev/null
one=$(cd "$(dirname "$package")" && sha256sum "$(basename "$package")")
another=$(cd "$WORK/another-folder/build-old" && sha256sum "$(basename "$package")")
if [ "$one" != "$another" ]; then
  echo "the same commit built twice gave different archives:"
  echo "$one"
  echo "$another"
  exit 1
fi
echo "reproducible: a clean clone elsewhere builds the same $one"
