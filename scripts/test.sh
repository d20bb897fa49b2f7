#!/usr/bin/env bash
# Sets up, builds and runs every test: the unit, widget and end-to-end suites,
# the same unit suites under AddressSanitizer and UndefinedBehaviorSanitizer,
# and short fuzz runs.
#   QUORVEL_FUZZ_SECONDS  seconds each fuzz target runs (default 60; e.g. 5 for a quick check)
#   QUORVEL_SKIP_ASAN=1   leave the sanitizer build out (a quick local run)
#   QUORVEL_SKIP_FUZZ=1   leave the fuzz runs out
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

JOBS=$(nproc)
FUZZ_SECONDS=${QUORVEL_FUZZ_SECONDS:-60}
started=$SECONDS
passed=0
failed=0

# Runs ctest and adds its counts to the totals printed at the end.
run_ctest() {
  local log
  log=$(mktemp)
  local status=0
  ctest "$@" 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  rm -f "$log"
  if [[ -n "$line" ]]; then
    local f n
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    n=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + n - f))
    failed=$((failed + f))
  fi
  return "$status"
}

echo "== Build and test =="
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j "$JOBS"
run_ctest --test-dir build-test --output-on-failure -j "$JOBS"

# The unit and lab suites again with ASan and UBSan (no recovery: the first report fails the
# test). The end-to-end, X11, install and whole-lab-program tests run only above: they run the
# built programs and the packages, not new code paths, and would double the time.
if [[ "${QUORVEL_SKIP_ASAN:-0}" != 1 ]]; then
  echo "== Sanitizers: AddressSanitizer + UndefinedBehaviorSanitizer =="
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON \
    >/dev/null
  cmake --build build-asan -j "$JOBS" --target unit_tests lab_tests
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest --test-dir build-asan --output-on-failure -j "$JOBS" -E '^(install|x11)\.|^Lab(Program|Report)\.|_NOT_BUILT$'
fi

# libFuzzer needs clang; the targets carry their own ASan + UBSan.
if [[ "${QUORVEL_SKIP_FUZZ:-0}" != 1 ]]; then
  echo "== Fuzz: ${FUZZ_SECONDS} s per target =="
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVEL_FUZZ=ON -DQUORVEL_FUZZ_SECONDS="$FUZZ_SECONDS" >/dev/null
  cmake --build build-fuzz -j "$JOBS" --target fuzz_receive fuzz_settings
  run_ctest --test-dir build-fuzz -L fuzz --output-on-failure -j "$JOBS"
  # What each target did, from the CTest log: executions and time.
  for name in receive settings; do
    awk -v t="Testing: fuzz_$name" 'index($0, t) {on = 1} on && /^Done [0-9]+ runs/ {print; exit}' \
      build-fuzz/Testing/Temporary/LastTest.log | sed "s/^/fuzz_$name: /"
  done
fi

echo "== Done in $((SECONDS - started)) s =="
echo "$passed passed, $failed failed"
