#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 25),
# seeded from fuzz/corpus/<target>, with one worker per core (FUZZ_WORKERS
# to choose) sharing one corpus: each picks up what the others find. Any
# crash, sanitizer report, broken invariant or timeout fails the run; its
# input is kept in fuzz-out/.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
SECONDS_EACH=${1:-25}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(loader amplify echo smooth dialogue)
BUILD=${BUILD:-build-fuzz}

cmake -S . -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLORY_FUZZ=ON -DPELLORY_TESTS=OFF \
  >/dev/null
cmake --build "$BUILD" -j 2 >/dev/null

OUT="$ROOT/fuzz-out"
mkdir -p "$OUT"
# Scratch files on a RAM-backed folder: saves sync, and syncing a disk
# would make the dialogue a hundred times slower. Removed at the end, with
# the folders the targets made in it.
base=/tmp
[ -w /dev/shm ] && base=/dev/shm
SCRATCH=$(mktemp -d "$base/pellory-fuzz-run-XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
export TMPDIR=$SCRATCH
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
WORKERS=${FUZZ_WORKERS:-$(nproc)}
total=0
for target in "${TARGETS[@]}"; do
  # Absolute: the dialogue target works in a folder of its own.
  corpus=$(mktemp -d)
  pids=()
  for worker in $(seq "$WORKERS"); do
    "$ROOT/$BUILD/bin/fuzz_$target" -max_total_time="$SECONDS_EACH" \
      -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$OUT/$target-" "$corpus" "$ROOT/fuzz/corpus/$target" \
      > "$OUT/$target.$worker.log" 2>&1 &
    pids+=($!)
  done
  failed=""
  for worker in $(seq "$WORKERS"); do
    wait "${pids[$((worker - 1))]}" || failed=$worker
  done
  if [ -n "$failed" ]; then
    tail -n 40 "$OUT/$target.$failed.log"
    echo "fuzz_$target: FAILED (input and log in $OUT)"
    rm -rf "$corpus"
    exit 1
  fi
  counts=()
  runs=0
  for worker in $(seq "$WORKERS"); do
    count=$(awk '/stat::number_of_executed_units/ {print $2}' \
      "$OUT/$target.$worker.log")
    counts+=("$count")
    runs=$((runs + count))
  done
  total=$((total + runs))
  echo "fuzz_$target: $runs executions in ${SECONDS_EACH}s" \
    "(workers: ${counts[*]}), no finding"
  rm -rf "$corpus"
done
echo "fuzzing: $total executions in all, no finding"
