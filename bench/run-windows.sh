#!/usr/bin/env bash
# Measures the 32- and 64-bit Windows builds under Wine at signal size N
# (default 10^7), side by side with the Linux build in the same run, and
# prints one table: whole-process loads on every loader path and a whole
# session (load, Amplify 2.5, Smooth 32, Echo 0.5/2, save as), medians of
# alternated runs, each minus a run that only starts and ends; and load,
# save and each filter in process. It reports; it never fails on a missed
# target.
#
#   bench/run-windows.sh [N]
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-10000000}
WIN=${WIN_BENCH_BUILD:-build-win-bench}
WIN64=${WIN64_BENCH_BUILD:-build-win64-bench}
LINUX=${BUILD:-build-bench}

sh scripts/install-deps.sh windows
for pair in "$WIN:mingw-i686:win32" "$WIN64:mingw-x86_64:win64"; do
  build=${pair%%:*}
  kind=${pair##*:}
  toolchain=${pair#*:}
  toolchain=${toolchain%:*}
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" \
    -DPELLORY_SNDFILE_PREFIX="$(sh scripts/windows-sndfile.sh "$kind")" \
    -DCMAKE_BUILD_TYPE=Release -DPELLORY_BENCHMARKS=ON -DPELLORY_TESTS=OFF \
    >/dev/null
  cmake --build "$build" -j 2 >/dev/null
done
cmake -S . -B "$LINUX" -DCMAKE_BUILD_TYPE=Release -DPELLORY_BENCHMARKS=ON \
  -DPELLORY_TESTS=OFF >/dev/null
cmake --build "$LINUX" -j 2 >/dev/null

base=/dev/shm
[ -w "$base" ] || base=${TMPDIR:-/tmp}
WORK=$(mktemp -d "$base/pellory-bench-windows-XXXXXX")
. scripts/wine.sh
trap 'stop_wine; rm -rf "$WORK"' EXIT
start_wine win64

for kind in a16 u32; do
  "$LINUX/bin/pellory_io_bench" generate "$kind" "$N" "$WORK/$kind.txt"
done
# A machine that runs no 32-bit programs gets the table without the 32-bit
# build.
win32_bin="$WIN/bin"
runs_32bit_code || win32_bin=-
python3 bench/windows_table.py "$win32_bin" "$WIN64/bin" "$LINUX/bin" "$WORK" "$N"
