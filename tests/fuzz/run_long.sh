#!/usr/bin/env bash
# Runs the fuzz targets for a long time each (default one hour), in parallel on all cores,
# keeping what they find in the build folder's corpus.
#   tests/fuzz/run_long.sh [seconds per target]
# Builds into build-fuzz with clang first. A crash leaves its input as
# build-fuzz/tests/fuzz/crash-*; replay it with: build-fuzz/tests/fuzz/fuzz_<name> <file>
set -euo pipefail
cd "$(dirname "$0")/../.."
SECONDS_PER_TARGET=${1:-3600}
BUILD=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_FUZZ=ON >/dev/null
cmake --build "$BUILD" --target fuzz_receive fuzz_settings

OUT="$BUILD/tests/fuzz"
status=0
for name in receive settings; do
  mkdir -p "$OUT/corpus/$name"
  "$OUT/fuzz_$name" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
    -max_len=16384 -print_final_stats=1 -artifact_prefix="$OUT/" \
    "$OUT/corpus/$name" "tests/fuzz/corpus/$name" >"$OUT/long_$name.log" 2>&1 &
  pids+=($!)
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || status=1
done
for name in receive settings; do
  echo "== fuzz_$name =="
  grep -E '^Done|stat::number_of_executed_units|stat::peak_rss_mb|==ERROR|invariant|property' \
    "$OUT/long_$name.log" || true
done
exit $status
