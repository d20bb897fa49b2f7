#!/usr/bin/env bash
# Sets up, builds and starts Quorvel.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: starting Quorvel on a virtual X server (nothing will be visible)."
  exec xvfb-run -a build/src/app/quorvel
fi
exec build/src/app/quorvel
