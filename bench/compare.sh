#!/usr/bin/env bash
# Whole-program figures: Quorvel against a receiver simulated by quorvel-sim at 9600 baud
# (1 Hz, cycling normally), measured side by side in the same run with gpsd + xgps listening
# to a second simulated receiver. Also runs the receive-path micro-benchmarks.
#   bench/compare.sh [window seconds, default 120]
# Installs gpsd, gpsd-clients and xdotool for itself (bench only; never the product or CI).
set -euo pipefail
cd "$(dirname "$0")/.."
WINDOW=${1:-120}
BUILD=build-bench
HZ=$(getconf CLK_TCK)

need=()
for p in gpsd gpsd-clients xdotool xvfb x11-utils libbenchmark-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${need[@]}" >/dev/null
fi

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_BENCH=ON \
  -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quorvel quorvel-sim quorvel_bench >/dev/null

echo "== Machine =="
echo "cores: $(nproc); CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "Debian $(cat /etc/debian_version); load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== Receive path (micro-benchmarks) =="
"$BUILD/bench/quorvel_bench" --benchmark_min_time=2 2>&1 | grep -E '^(BM_|Benchmark|---)'

source bench/common.sh
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# A simulated receiver on its own pty; sets SIM_PID and SIM_DEV once it is up.
start_sim() {  # name, extra options...
  local name=$1; shift
  "$BUILD/tools/quorvel-sim" --baud 9600 "$@" >"$SCRATCH/$name.log" 2>&1 &
  SIM_PID=$!
  PIDS+=($SIM_PID)
  for _ in $(seq 100); do
    grep -q '^quorvel-sim: /dev/' "$SCRATCH/$name.log" && break
    sleep 0.05
  done
  SIM_DEV=$(sed -n 's/^quorvel-sim: \(\/dev\/[^ ]*\).*/\1/p' "$SCRATCH/$name.log" | head -1)
}

# The first visible top-level window of a process.
window_of() {  # pid
  DISPLAY=$DISP xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -1 || true
}

DISP=:$((90 + RANDOM % 100))
Xvfb "$DISP" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
sleep 1
export DISPLAY=$DISP

# --- Quorvel: Set.txt in a scratch working directory points at the sim as COM 7. ---
export XDG_CONFIG_HOME=$SCRATCH/config
mkdir -p "$SCRATCH/work"
printf 'COM 7,9600\r\n' >"$SCRATCH/work/Set.txt"
start_sim simq --com 7
SIMQ_PID=$SIM_PID

# Start-up time: from the launch to the moment the window's _NET_WM_WINDOW_OPACITY is
# 0xffffffff (the end of the fade-in), polled every few milliseconds with xprop.
t0=$(now_ms)
(cd "$SCRATCH/work" && QT_QPA_PLATFORM=xcb exec "$OLDPWD/$BUILD/src/app/quorvel") \
  >"$SCRATCH/quorvel.log" 2>&1 &
Q_PID=$!
PIDS+=($Q_PID)
Q_WIN=""
q_opaque_ms=""
while (($(now_ms) - t0 < 20000)); do
  [[ -z $Q_WIN ]] && Q_WIN=$(window_of $Q_PID)
  if [[ -n $Q_WIN ]] && xprop -id "$Q_WIN" _NET_WM_WINDOW_OPACITY 2>/dev/null |
    grep -q '= 4294967295'; then
    q_opaque_ms=$(($(now_ms) - t0))
    break
  fi
  sleep 0.002
done

# The operator presses Cmd_Start_1 (client position 222+56, 18+51), before any other window
# can cover it (there is no window manager on the Xvfb screen).
xdotool mousemove --window "$Q_WIN" 278 69 click 1

# --- gpsd + xgps on a second simulated receiver. ---
start_sim simg
SIMG_PID=$SIM_PID
G_DEV=$SIM_DEV
gpsd -N -n -b -S 29470 -F "$SCRATCH/gpsd.sock" -P "$SCRATCH/gpsd.pid" "$G_DEV" \
  >"$SCRATCH/gpsd.log" 2>&1 &
G_PID=$!
PIDS+=($G_PID)
sleep 1
t0=$(now_ms)
xgps localhost:29470 >"$SCRATCH/xgps.log" 2>&1 &
X_PID=$!
PIDS+=($X_PID)
x_shown_ms=""
while (($(now_ms) - t0 < 30000)); do
  if [[ -n $(window_of $X_PID) ]]; then x_shown_ms=$(($(now_ms) - t0)); break; fi
  sleep 0.002
done

sleep 10  # connection step, first orders; both sides settle

# --- CPU per hour of running test, over the window, and peak RSS. ---
q0=$(cpu_ticks $Q_PID); g0=$(cpu_ticks $G_PID); x0=$(cpu_ticks $X_PID)
orders0=$(grep -c 'PXEMSRT' "$SCRATCH/simq.log" || true)
sleep "$WINDOW"
q1=$(cpu_ticks $Q_PID); g1=$(cpu_ticks $G_PID); x1=$(cpu_ticks $X_PID)
orders1=$(grep -c 'PXEMSRT' "$SCRATCH/simq.log" || true)

per_hour() { awk -v d="$1" -v hz="$HZ" -v w="$WINDOW" 'BEGIN {printf "%.2f", d / hz / w * 3600}'; }
q_cpu=$(per_hour $((q1 - q0)))
g_cpu=$(per_hour $((g1 - g0)))
x_cpu=$(per_hour $((x1 - x0)))
gx_cpu=$(per_hour $((g1 - g0 + x1 - x0)))
q_rss=$(peak_rss_kb $Q_PID)
g_rss=$(peak_rss_kb $G_PID)
x_rss=$(peak_rss_kb $X_PID)

# --- The receiver vanishes mid-run: Quorvel's CPU over the next 10 s. ---
kill "$SIMQ_PID"
k0=$(cpu_ticks $Q_PID)
sleep 10
k1=$(cpu_ticks $Q_PID)
q_after_kill=$(awk -v d=$((k1 - k0)) -v hz="$HZ" 'BEGIN {printf "%.2f", d / hz}')
kill "$SIMG_PID"
k0=$(($(cpu_ticks $G_PID) + $(cpu_ticks $X_PID)))
sleep 10
k1=$(($(cpu_ticks $G_PID) + $(cpu_ticks $X_PID)))
gx_after_kill=$(awk -v d=$((k1 - k0)) -v hz="$HZ" 'BEGIN {printf "%.2f", d / hz}')

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "n/a"}'; }

echo "== Whole program, quorvel-sim at 9600 baud, 1 Hz, ${WINDOW} s window =="
echo "cold-start orders the sim received in the window: $((orders1 - orders0))"
printf '%-34s %12s %12s %12s %12s %8s\n' "" quorvel gpsd xgps gpsd+xgps ratio
printf '%-34s %12s %12s %12s %12s %8s\n' "CPU s per hour of running test" \
  "$q_cpu" "$g_cpu" "$x_cpu" "$gx_cpu" "$(ratio "$q_cpu" "$gx_cpu")"
printf '%-34s %12s %12s %12s %12s %8s\n' "peak RSS (VmHWM, MiB)" \
  "$(ratio "$q_rss" 1024)" "$(ratio "$g_rss" 1024)" "$(ratio "$x_rss" 1024)" \
  "$(ratio $((g_rss + x_rss)) 1024)" "$(ratio "$q_rss" $((g_rss + x_rss)))"
printf '%-34s %12s %12s %12s %12s %8s\n' "start to shown window (ms)" \
  "${q_opaque_ms:-n/a}" "" "${x_shown_ms:-n/a}" "${x_shown_ms:-n/a}" \
  "$(ratio "${q_opaque_ms:-0}" "${x_shown_ms:-0}")"
printf '%-34s %12s %12s %12s %12s %8s\n' "CPU s in 10 s after the sim dies" \
  "$q_after_kill" "" "" "$gx_after_kill" ""
echo "(quorvel: shown = fully opaque, _NET_WM_WINDOW_OPACITY 0xffffffff; xgps: mapped)"
