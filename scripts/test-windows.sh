#!/bin/sh
# Runs the Windows build's tests under Wine, then the packaged program as a
# user unzips and runs it, against the Linux build on the same session.
#
#   scripts/test-windows.sh WINDOWS_BUILD LINUX_BUILD
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WIN_BUILD=$1
LINUX_BUILD=$2

export WINEDEBUG=-all
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/pellory-wine-XXXXXX")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pellory-windows-XXXXXX")
export WINEPREFIX
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX" "$WORK"' EXIT
# The Wine server and its services start once, with their output sent
# nowhere: a runner that captures standard error would otherwise wait for
# them forever.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

ctest --test-dir "$WIN_BUILD" --timeout 300 --output-on-failure

# Load sample.txt, Amplify 2, Echo 0.5/2, Smooth 3, display, save as.
printf '1\nsample.txt\n5\n3\n2\n5\n2\n0.5\n2\n5\n1\n3\n4\n\n3\nsaved.txt\n' \
  > "$WORK/session"
cmake -E chdir "$WORK" cmake -E tar xf "$ROOT/$WIN_BUILD/Pellory-win32.zip"
(cd "$WORK/Pellory-win32" &&
  wine Pellory.exe < "$WORK/session" > "$WORK/windows.out" 2>/dev/null)
mkdir -p "$WORK/linux/DLL"
cp "$ROOT/$LINUX_BUILD"/bin/*.dll "$WORK/linux/DLL/"
cp data/sample.txt "$WORK/linux/"
(cd "$WORK/linux" &&
  "$ROOT/$LINUX_BUILD/bin/Pellory" < "$WORK/session" > "$WORK/linux.out")
status=0
for pair in windows.out:linux.out Pellory-win32/saved.txt:linux/saved.txt; do
  windows=${pair%%:*}
  linux=${pair#*:}
  if ! grep -q "$(printf '\r')" "$WORK/$windows"; then
    echo "packaged session: $windows has no \"\\r\\n\" line ends"
    status=1
  fi
  if ! tr -d '\r' < "$WORK/$windows" | cmp -s - "$WORK/$linux"; then
    echo "packaged session: $windows differs from the Linux build's $linux"
    status=1
  fi
done
[ $status -eq 0 ] &&
  echo "packaged session: output and saved file equal the Linux build's"
# The unzipped program at a console, as Wine gives it one on a terminal.
python3 tests/windows_console_check.py "$WORK/Pellory-win32" || status=1
exit $status
