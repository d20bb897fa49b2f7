#!/usr/bin/env bash
# Sets up, builds and starts Quorvel. When no real receiver is attached, a simulated one
# (quorvel-sim) is started on a free COM number and stopped again when Quorvel exits.
#
# Quorvel runs in ${XDG_DATA_HOME:-~/.local/share}/quorvel, so its "Set.txt" lives there and
# survives rebuilds without cluttering the source folder.
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$(pwd)
bash scripts/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"

QUORVEL="$REPO/build/src/app/quorvel"
SIM="$REPO/build/tools/quorvel-sim"
WORKDIR="${XDG_DATA_HOME:-$HOME/.local/share}/quorvel"
PORTS="${XDG_CONFIG_HOME:-$HOME/.config}/quorvel/ports"
mkdir -p "$WORKDIR"
cd "$WORKDIR"

# The device COM n opens, as Quorvel maps it: the override link first, then the fixed table.
com_device() {
  local n=$1
  if [[ -L "$PORTS/com$n" ]]; then
    readlink -f "$PORTS/com$n" || readlink "$PORTS/com$n"
  elif ((n >= 1 && n <= 32)); then echo "/dev/ttyS$((n - 1))"
  elif ((n <= 64)); then echo "/dev/ttyUSB$((n - 33))"
  elif ((n <= 96)); then echo "/dev/ttyACM$((n - 65))"
  elif ((n <= 101)); then echo "/dev/ttyAMA$((n - 97))"
  fi
}

# The COM number that a table device has (ttyUSB3 -> 36), for the hint.
com_of_device() {
  local name=${1#/dev/}
  case $name in
    ttyUSB*) echo $((33 + ${name#ttyUSB})) ;;
    ttyACM*) echo $((65 + ${name#ttyACM})) ;;
  esac
}

# What Quorvel's port list says of a device this user may not open for reading and writing.
access_hint() {
  [[ -r "$1" && -w "$1" ]] && return
  local group
  group=$(stat -c %G "$1" 2>/dev/null)
  if [[ -n "$group" && $(($(stat -c %a "$1") / 10 % 10 & 6)) -eq 6 ]]; then
    echo " (present, no access: join the $group group)"
  else
    echo " (present, no access)"
  fi
}

# A COM number with neither an override link nor a table device.
free_com() {
  local n
  for ((n = 1; n <= 101; n++)); do
    if [[ ! -L "$PORTS/com$n" && ! -e "$(com_device "$n")" ]]; then
      echo "$n"
      return
    fi
  done
  return 1
}

settings_com=""
if [[ -f Set.txt ]]; then
  settings_com=$(sed -n '1s/^COM \([0-9]\{1,3\}\),.*/\1/p' Set.txt | tr -d '\r')
fi
settings_device=""
[[ -n "$settings_com" ]] && settings_device=$(com_device "$settings_com")

usb_devices=(/dev/ttyUSB* /dev/ttyACM*)
usb_present=()
for d in "${usb_devices[@]}"; do [[ -e "$d" ]] && usb_present+=("$d"); done

SIM_PID=""
stop_sim() {
  if [[ -n "$SIM_PID" ]] && kill -0 "$SIM_PID" 2>/dev/null; then
    kill -TERM "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

if [[ -n "$settings_device" && -e "$settings_device" ]]; then
  echo "Using the receiver on COM $settings_com ($settings_device$(access_hint "$settings_device")), as Set.txt in $WORKDIR names it."
elif ((${#usb_present[@]})); then
  echo "A serial device is attached; no simulated receiver is started. Pick it in the port list:"
  for d in "${usb_present[@]}"; do echo "  COM $(com_of_device "$d") is $d$(access_hint "$d")"; done
else
  com=$(free_com) || { echo "No free COM number for the simulated receiver." >&2; exit 1; }
  "$SIM" --com "$com" >"$WORKDIR/quorvel-sim.log" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 50); do
    grep -q "^quorvel-sim: COM $com is" "$WORKDIR/quorvel-sim.log" && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q "^quorvel-sim: COM $com is" "$WORKDIR/quorvel-sim.log"; then
    echo "The simulated receiver did not start:" >&2
    cat "$WORKDIR/quorvel-sim.log" >&2
    exit 1
  fi
  printf 'COM %s,9600\r\n' "$com" >Set.txt
  echo "No receiver attached: a simulated one runs as COM $com (log: $WORKDIR/quorvel-sim.log)."
fi
echo "Quorvel runs in $WORKDIR (Set.txt is kept there)."
echo "Press Cold Start On/Off to start the test."

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: starting Quorvel on a virtual X server (nothing will be visible)."
  xvfb-run -a "$QUORVEL"
else
  "$QUORVEL"
fi
