#!/usr/bin/env bash
# quorvel-lab at scale: 64 receivers simulated by quorvel-sim on ptys (1 Hz, 9600 baud) for a
# window of at least 10 minutes, measured side by side in the same run with gpsd watching one
# more simulated receiver. The receivers are a mix of the four families (pxemsrt, ubx, pmtk,
# psrf), each given to the lab with its profile as NAME:PORT. Checks that every journal row is
# the outcome the sim scripted.
#   bench/lab.sh [window seconds, default 600]      (BUILD=<dir>, default build-bench)
# Installs gpsd for itself (bench only; never the product or CI).
set -euo pipefail
cd "$(dirname "$0")/.."
WINDOW=${1:-600}
BUILD=${BUILD:-build-bench}
HZ=$(getconf CLK_TCK)
N_OK=56 N_DEAF=4 N_SILENT=4  # restarting (TTFF 3-10 s), ignoring every order, silent
INTERVAL=15
FIX_LIMIT=30                 # well above the slowest scripted fix, 14 s after the order
FAMILIES=(pxemsrt ubx pmtk psrf)

if ! dpkg-query -W -f='${Status}' gpsd 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gpsd >/dev/null
fi
# A build folder that exists keeps its configuration.
[[ -f $BUILD/CMakeCache.txt ]] ||
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quorvel-lab quorvel-sim >/dev/null

source bench/common.sh

# A simulated receiver on its own pty; sets SIM_DEV once it is up.
start_sim() {  # name, options...
  local name=$1; shift
  "$BUILD/tools/quorvel-sim" --baud 9600 "$@" >"$SCRATCH/$name.log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do
    grep -qs '^quorvel-sim: /dev/' "$SCRATCH/$name.log" && break
    sleep 0.05
  done
  SIM_DEV=$(sed -n 's/^quorvel-sim: \(\/dev\/[^ ]*\).*/\1/p' "$SCRATCH/$name.log" | head -1)
}

PORTS=()
declare -A EXPECT FAMILY  # pty -> ok:<ttff> | no-respond | cant-connect; pty -> family
# Receiver i is of family i % 4, so each family has every TTFF from 3 to 10 s.
add() {  # family, expected outcome
  PORTS+=("$1:$SIM_DEV"); FAMILY[$SIM_DEV]=$1; EXPECT[$SIM_DEV]=$2
}
for i in $(seq 0 $((N_OK - 1))); do
  f=${FAMILIES[i % 4]} ttff=$((3 + i % 8))
  start_sim "ok$i" --family "$f" --ttff $ttff; add "$f" "ok:$ttff"
done
for i in $(seq 0 $((N_DEAF - 1))); do
  f=${FAMILIES[i % 4]}; start_sim "deaf$i" --family "$f" --never-restart; add "$f" no-respond
done
for i in $(seq 0 $((N_SILENT - 1))); do
  f=${FAMILIES[i % 4]}; start_sim "silent$i" --family "$f" --silent; add "$f" cant-connect
done

start_sim gpsd
G_DEV=$SIM_DEV
gpsd -N -n -b -S 29471 -F "$SCRATCH/gpsd.sock" -P "$SCRATCH/gpsd.pid" "$G_DEV" >"$SCRATCH/gpsd.log" 2>&1 &
G_PID=$!
PIDS+=($G_PID)

"$BUILD/src/lab/quorvel-lab" --interval $INTERVAL --fix-limit $FIX_LIMIT --journal "$SCRATCH/j.csv" "${PORTS[@]}" \
  >"$SCRATCH/lab.log" 2>&1 &
L_PID=$!
PIDS+=($L_PID)

sleep 10  # connection steps, first orders
l0=$(cpu_ticks $L_PID); g0=$(cpu_ticks $G_PID)
sleep "$WINDOW"
l1=$(cpu_ticks $L_PID); g1=$(cpu_ticks $G_PID)
l_rss=$(peak_rss_kb $L_PID); g_rss=$(peak_rss_kb $G_PID)
kill -INT $L_PID
wait $L_PID || { echo "quorvel-lab did not exit 0"; exit 1; }

n=${#PORTS[@]}
per_rh() { awk -v d="$1" -v hz="$HZ" -v w="$WINDOW" -v n="$2" 'BEGIN {printf "%.3f", d / hz / n / w * 3600}'; }

# Every row as scripted: the restarting ones ok, the deaf ones no-respond, the silent ones
# cant-connect, and `ended` only for a cycle cut by the end. Times apart: restart_s should
# be 4 and ttff_s TTFF + reboot silence (3) + 1, whatever the family; the sims' own seconds
# and the lab's 50 ms rounds wander on a loaded machine, so count the rows more than 0.25 s
# off. A receiver is named in the journal by its port, with or without its profile and baud:
# both are stripped before the look-up. Prints misjudged, late, then "family ok-rows" pairs.
expected_list() { for p in "${!EXPECT[@]}"; do echo "$p=${EXPECT[$p]}=${FAMILY[$p]}"; done | paste -sd' '; }
read -r misjudged late per_family < <(awk -F, -v OFS=, -v expected="$(expected_list)" '
  function off(a, b) { return (a - b) ^ 2 > 0.0625 }
  BEGIN { n = split(expected, kv, " "); for (i = 1; i <= n; i++) { split(kv[i], a, "="); want[a[1]] = a[2]; fam[a[1]] = a[3] } }
  NR == 1 { next }
  { port = $2; gsub(/"/, "", port); sub(/^[a-z]+:/, "", port); sub(/@[0-9]+$/, "", port)
    $2 = port; last[$2] = NR; split(want[$2], w, ":") }
  $4 == "ended" { ended[$2] = NR; next }
  w[1] == "ok" && $4 == "ok" && $6 != "" {
    okrows[fam[$2]]++
    if (off($5, 4) || off($6, w[2] + 4)) { late++; print "late: " $0 > "/dev/stderr" }
    next }
  w[1] != "ok" && $4 == w[1] { next }
  { bad++; print "misjudged: " $0 > "/dev/stderr" }
  END { for (p in ended) if (ended[p] != last[p]) bad++
        printf "%d %d", bad + 0, late + 0
        for (f in okrows) printf " %s=%d", f, okrows[f]
        print "" }' "$SCRATCH/j.csv")
rows=$(($(wc -l <"$SCRATCH/j.csv") - 1))
ok_rows=$(grep -c ',ok,' "$SCRATCH/j.csv" || true)

echo "== quorvel-lab summary (first 8 receivers) =="
grep -A8 "^receiver " "$SCRATCH/lab.log"
echo "== quorvel-lab, $n receivers (quorvel-sim, 1 Hz, 9600 baud), ${WINDOW} s window =="
echo "cores: $(nproc); CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "journal rows: $rows ($ok_rows ok), misjudged: $misjudged, times more than 0.25 s off: $late"
echo "ok rows by family: $per_family"
printf '%-36s %12s %12s\n' "" quorvel-lab gpsd
printf '%-36s %12s %12s\n' "CPU s per receiver-hour" "$(per_rh $((l1 - l0)) "$n")" "$(per_rh $((g1 - g0)) 1)"
printf '%-36s %12s %12s\n' "peak RSS (VmHWM, MiB)" \
  "$(awk -v k="$l_rss" 'BEGIN {printf "%.1f", k / 1024}')" "$(awk -v k="$g_rss" 'BEGIN {printf "%.1f", k / 1024}')"
echo "(gpsd watches one receiver; quorvel-lab's figure is per receiver)"
