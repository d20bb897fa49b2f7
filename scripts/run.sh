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
LAB="$REPO/build/src/lab/quorvel-lab"
WORKDIR="${XDG_DATA_HOME:-$HOME/.local/share}/quorvel"
mkdir -p "$WORKDIR"
cd "$WORKDIR"

# Every COM number with an override link or a present device, as Quorvel's port list says it
# ("COM 7   ~/.config/quorvel/ports/com7 -> /dev/pts/5 (present)"): the program's own table,
# asked rather than copied.
declare -A ports=()
while read -r word n rest; do
  [[ $word == COM ]] && ports[$n]=$rest
done < <("$LAB" --ports)

# The device a --ports line names, and what it says beyond "(present)".
line_device() { local d=${1% (*}; echo "${d##* -> }"; }
line_hint() { [[ $1 == *" (present)" ]] || echo " (${1##* (}"; }
line_present() { [[ $1 == *" (present"* ]]; }

# A COM number with neither an override link nor a present device.
free_com() {
  local n
  for ((n = 1; n <= 101; n++)); do
    if [[ -z "${ports[$n]+x}" ]]; then
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
settings_line=""
[[ -n "$settings_com" ]] && settings_line=${ports[$settings_com]-}

usb_present=()
for n in $(printf '%s\n' "${!ports[@]}" | sort -n); do
  d=$(line_device "${ports[$n]}")
  [[ $d == /dev/ttyUSB* || $d == /dev/ttyACM* ]] && line_present "${ports[$n]}" && usb_present+=("$n")
done

SIM_PID=""
stop_sim() {
  if [[ -n "$SIM_PID" ]] && kill -0 "$SIM_PID" 2>/dev/null; then
    kill -TERM "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

if [[ -n "$settings_line" ]] && line_present "$settings_line"; then
  echo "Using the receiver on COM $settings_com ($(line_device "$settings_line")$(line_hint "$settings_line")), as Set.txt in $WORKDIR names it."
elif ((${#usb_present[@]})); then
  echo "A serial device is attached; no simulated receiver is started. Pick it in the port list:"
  for n in "${usb_present[@]}"; do
    echo "  COM $n is $(line_device "${ports[$n]}")$(line_hint "${ports[$n]}")"
  done
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
