#!/bin/sh
# Builds the Linux package of the checked-out commit from two clean clones
# in folders of different names and checks that the two archives are the
# same bytes: nothing of the builder's folder, account or clock gets in.
#
#   scripts/check-reproducible.sh
set -eu
cd "$(dirname "$0")/.."
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellory-reproducible-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
for side in one another-folder; do
  git clone -q . "$WORK/$side/src"
  cmake -S "$WORK/$side/src" -B "$WORK/$side/build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLORY_TESTS=OFF >/dev/null
  cmake --build "$WORK/$side/build" -j 2 --target package >/dev/null
done
one=$(cd "$WORK/one/build" && sha256sum Pellory-*.tar.gz)
another=$(cd "$WORK/another-folder/build" && sha256sum Pellory-*.tar.gz)
if [ "$one" != "$another" ]; then
  echo "the same commit built twice gave different archives:"
  echo "$one"
  echo "$another"
  exit 1
fi
echo "reproducible: two clean builds give $one"
