#!/bin/sh
# Checks release packages as a user would use them: each is unpacked into a
# fresh folder outside the build tree and the same session (load
# sample.txt, Amplify 2, Echo 0.5/2, Smooth 3, display, save as) is run
# from inside it: natively for Linux x86-64, under qemu-user for Linux
# arm64, under Wine for Windows (a win64 prefix runs both Windows builds).
# Then the command-line forms, from another folder: apply with the same
# filters, info and plot, and the same result through a WAV, a FLAC and
# an AIFF (written by apply and the editor's Save as, summed up, drawn and
# read back as text). What each shows and saves
# must equal the first package's ("\r\n" read as "\n"; Windows must write
# "\r\n"), and apply must save what the session saved.
#
#   scripts/check-packages.sh PACKAGE...
set -eu
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellory-packages-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
printf '1\nsample.txt\n5\n3\n2\n5\n2\n0.5\n2\n5\n1\n3\n4\n\n3\nsaved.txt\n' \
  > "$WORK/session"
status=0
first=""
for package in "$@"; do
  name=$(basename "$package")
  name=${name%.tar.gz}
  name=${name%.zip}
  mkdir "$WORK/$name"
  archive=$(cd "$(dirname "$package")" && pwd)/$(basename "$package")
  (cd "$WORK/$name" && cmake -E tar xf "$archive")
  folder=$WORK/$name/$name
  case $name in
    *-win32 | *-win64) run="wine $folder/Pellory.exe" ;;
    *-linux-aarch64)
      run="qemu-aarch64 -L / $folder/Pellory" ;;
    *) run="$folder/Pellory" ;;
  esac
  if ! (cd "$folder" && $run < "$WORK/session" > "$WORK/$name.out" \
        2> "$WORK/$name.err"); then
    echo "$name: the session did not end well"
    status=1
    continue
  fi
  case $name in
    *-win32 | *-win64)
      if ! grep -q "$(printf '\r')" "$WORK/$name.out"; then
        echo "$name: its output has no \"\\r\\n\" line ends"
        status=1
      fi ;;
  esac
  cp "$folder/sample.txt" "$WORK/sample.txt"
  if ! (cd "$WORK" && $run apply sample.txt "$name.applied" \
          amplify=2 echo=0.5,2 smooth=3 &&
        $run info sample.txt > "$name.info1" &&
        LC_ALL=C $run plot sample.txt --width 40 --height 5 > "$name.plot1" &&
        $run apply sample.txt "$name.wav" amplify=2 echo=0.5,2 smooth=3 \
          --bits 16 --rate 44100 &&
        $run apply "$name.wav" "$name.flac" &&
        printf '1\n%s\n3\n%s\n' "$name.flac" "$name.aiff" | $run > /dev/null &&
        $run info "$name.wav" "$name.flac" "$name.aiff" > "$name.audio1" &&
        LC_ALL=C $run plot "$name.aiff" --width 120 --height 3 >> "$name.audio1" &&
        $run apply "$name.aiff" "$name.from-flac"); then
    echo "$name: a command-line form did not end well"
    status=1
    continue
  fi
  tr -d '\r' < "$WORK/$name.out" > "$WORK/$name.shown"
  tr -d '\r' < "$folder/saved.txt" > "$WORK/$name.saved"
  tr -d '\r' < "$WORK/$name.applied" > "$WORK/$name.apply"
  tr -d '\r' < "$WORK/$name.info1" > "$WORK/$name.info"
  tr -d '\r' < "$WORK/$name.plot1" > "$WORK/$name.plot"
  tr -d '\r' < "$WORK/$name.audio1" | grep -v '^file: ' |
    sed "s/^$name\./NAME./" > "$WORK/$name.audio"
  tr -d '\r' < "$WORK/$name.from-flac" > "$WORK/$name.flactext"
  if ! cmp -s "$WORK/$name.saved" "$WORK/$name.apply" ||
     ! cmp -s "$WORK/$name.saved" "$WORK/$name.flactext"; then
    echo "$name: apply saved other samples than the session"
    status=1
  fi
  if [ -z "$first" ]; then
    first=$name
    continue
  fi
  for what in shown saved info plot audio; do
    if ! cmp -s "$WORK/$first.$what" "$WORK/$name.$what"; then
      echo "$name: what it $what differs from $first's"
      status=1
    fi
  done
done
[ $status -eq 0 ] &&
  echo "packages: each one's session shows and saves the same: $*"
exit $status
