#!/usr/bin/env bash
# Installs what Quorvel needs to build, run and test, from Debian's packages.
# Installs only what is missing; uses sudo when not run as root.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkgconf
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-wqy-microhei
  xvfb xauth x11-utils procps
  clang libclang-rt-14-dev llvm
  dpkg-dev file
  lintian appstream desktop-file-utils help2man go-md2man  # man pages; package checks in install.deb
  libjs-chart.js chromium  # the lab report's charts, and the browser its test renders them in
  python3-websocket  # the live page's test drives that browser over its DevTools socket
  pdudaemon  # the PDU daemon the lab's power switch asks; its test runs one of its own
  qt6-httpserver-dev prometheus  # quorvel-lab --http, and the server its test scrapes it with
  qt6-websockets-dev  # Qt6HttpServer's CMake files need it; Debian's package does not depend on it
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # The package starts its own daemon, with its sample configuration, on every interface; the
  # tests start theirs on a loopback port, and a lab configures its own.
  if [[ " ${missing[*]} " == *" pdudaemon "* && -d /run/systemd/system ]]; then
    $SUDO systemctl disable --now pdudaemon.service >/dev/null 2>&1 || true
  fi
fi
