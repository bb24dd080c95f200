#!/usr/bin/env bash
# Measures the 32-bit Windows build under Wine at signal size N (default
# 10^7), side by side with the Linux build on its AVX2 path
# (PELLORY_NO_AVX512) in the same run, and prints one table: load and save
# in process, each filter per sample (pellory_io_bench on both), and, as the
# user waits for them, whole-process loads and a whole session (load,
# Amplify 2.5, Smooth 32, Echo 0.5/2, save as), and the loads on the
# SSE4.1 and the plain path, each on both builds: medians of alternated
# runs, each minus a run that only starts and ends. It reports; it never
# fails on a missed target.
#
#   bench/run-windows.sh [N]
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-10000000}
WIN=${WIN_BENCH_BUILD:-build-win-bench}
LINUX=${BUILD:-build-bench}

sh scripts/install-deps.sh windows
cmake -S . -B "$WIN" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DPELLORY_BENCHMARKS=ON -DPELLORY_TESTS=OFF \
  >/dev/null
cmake --build "$WIN" -j 2 >/dev/null
cmake -S . -B "$LINUX" -DCMAKE_BUILD_TYPE=Release -DPELLORY_BENCHMARKS=ON \
  -DPELLORY_TESTS=OFF >/dev/null
cmake --build "$LINUX" -j 2 >/dev/null

base=/dev/shm
[ -w "$base" ] || base=${TMPDIR:-/tmp}
WORK=$(mktemp -d "$base/pellory-bench-windows-XXXXXX")
. scripts/wine.sh
trap 'stop_wine; rm -rf "$WORK"' EXIT
start_wine

for kind in a16 u32; do
  "$LINUX/bin/pellory_io_bench" generate "$kind" "$N" "$WORK/$kind.txt"
done
python3 bench/windows_table.py "$WIN/bin" "$LINUX/bin" "$WORK" "$N"
