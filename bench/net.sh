#!/usr/bin/env bash
# quorvel-lab on racks of network receivers: for each size, one quorvel-sim --tcp-listen serves N
# simulated receivers on 127.0.0.1 (one TCP port each, 1 Hz, the seven families in turn, TTFFs
# drawn from 8 +- 4 s by a fixed seed), and the lab takes them all from the ports file the sim
# wrote. Measures the lab's CPU s per receiver-hour and peak RSS over the window, and checks
# every journal row against the script: ok with restart 4 s and TTFF = scripted + 4 s (3 s of
# reboot silence, 1 s to the first burst), `ended` only as a receiver's last row.
#   bench/net.sh [window seconds, default 600] [sizes, default "1000 5000 10000"]
#   (BUILD=<dir>, default build-bench; SETTLE=<seconds> before the window, default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
WINDOW=${1:-600}
SIZES=${2:-"1000 5000 10000"}
BUILD=${BUILD:-build-bench}
SETTLE=${SETTLE:-30}
HZ=$(getconf CLK_TCK)
BASE=20000 HTTP=19999 TTFF=8 SPREAD=4 SEED=2026 INTERVAL=15 FIX_LIMIT=30

[[ -f $BUILD/CMakeCache.txt ]] ||
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quorvel-lab quorvel-sim >/dev/null

source bench/common.sh

echo "cores: $(nproc); CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-9s %8s %10s %10s %8s %10s %9s %9s %9s %12s\n' receivers window rows ok misjudged \
  "CPU s/r-h" "RSS MiB" "sim CPU%" ">50ms off" "max off s"
for n in $SIZES; do
  dir=$SCRATCH/$n
  mkdir -p "$dir"
  "$BUILD/tools/quorvel-sim" --tcp-listen 127.0.0.1:$BASE --count "$n" --seed $SEED --ttff $TTFF \
    --ttff-spread $SPREAD --ports-file-out "$dir/ports.txt" >"$dir/sim.log" 2>&1 &
  s_pid=$!
  PIDS+=($s_pid)
  for _ in $(seq 600); do [[ -f $dir/ports.txt ]] && break; sleep 0.1; done
  [[ -f $dir/ports.txt ]] || { echo "quorvel-sim did not start: $(cat "$dir/sim.log")"; exit 1; }
  "$BUILD/src/lab/quorvel-lab" --interval $INTERVAL --fix-limit $FIX_LIMIT --journal "$dir/j.csv" \
    --http 127.0.0.1:$HTTP --ports-file "$dir/ports.txt" >"$dir/lab.log" 2>&1 &
  l_pid=$!
  PIDS+=($l_pid)
  sleep "$SETTLE"  # connections, identities, first orders
  alive() {
    for pid in $l_pid $s_pid; do
      kill -0 "$pid" 2>/dev/null && continue
      echo "a process of the $n-receiver run ended early:"; tail -3 "$dir/sim.log" "$dir/lab.log"; exit 1
    done
  }
  alive
  l0=$(cpu_ticks $l_pid); s0=$(cpu_ticks $s_pid)
  sleep "$WINDOW"
  alive
  l1=$(cpu_ticks $l_pid); s1=$(cpu_ticks $s_pid)
  # A Prometheus scrape of /metrics: the lab's CPU over ten of them, 3 s apart, less what the
  # same stretch costs without them (the minute just measured).
  m0=$(cpu_ticks $l_pid); t0=$(date +%s%N); bytes=0; scrapes_from=$(date -u +%Y-%m-%dT%H:%M:%S)
  for _ in $(seq 10); do
    bytes=$(curl -s -o /dev/null -w '%{size_download}' "http://127.0.0.1:$HTTP/metrics"); sleep 3
  done
  m1=$(cpu_ticks $l_pid); t1=$(date +%s%N)
  scrape_ms=$(awk -v d=$((m1 - m0)) -v hz="$HZ" -v t=$(((t1 - t0) / 1000000)) -v base=$((l1 - l0)) \
    -v w="$WINDOW" 'BEGIN {printf "%.0f", (d / hz - base / hz / w * t / 1000) * 1000 / 10}')
  rss=$(peak_rss_kb $l_pid)
  kill -INT $l_pid
  wait $l_pid || { echo "quorvel-lab did not exit 0 ($n receivers)"; exit 1; }
  kill $s_pid; wait $s_pid 2>/dev/null || true

  # The script, "tcp://127.0.0.1:P ttff", from the sim's own lines.
  sed -n 's/^quorvel-sim: \(tcp:[^ ]*\) family [a-z]*, ttff \([0-9]*\)$/\1 \2/p' "$dir/sim.log" >"$dir/script"
  read -r misjudged late worst late_first late_scraped < <(awk -F, '
    NR == FNR { split($0, a, " "); ttff[a[1]] = a[2]; next }
    FNR == 1 { next }
    { last[$2] = FNR }
    $4 == "ended" { ended[$2] = FNR; next }
    $4 == "ok" && $6 != "" && ($2 in ttff) {
      d1 = $5 - 4; d2 = $6 - (ttff[$2] + 4); if (d1 < 0) d1 = -d1; if (d2 < 0) d2 = -d2
      d = d1 > d2 ? d1 : d2; if (d > worst) worst = d
      if (d > 0.05) { late++; if ($3 == 1) first++; else if ($1 >= from) scraped++
                      if (late <= 5) print "off: " $0 > "/dev/stderr" }
      next }
    { bad++; if (bad <= 5) print "misjudged: " $0 > "/dev/stderr" }
    END { for (p in ended) if (ended[p] != last[p]) bad++
          printf "%d %d %.1f %d %d\n", bad + 0, late + 0, worst + 0, first + 0, scraped + 0 }' \
    from="$scrapes_from" "$dir/script" "$dir/j.csv")
  rows=$(($(wc -l <"$dir/j.csv") - 1))
  ok=$(grep -c ',ok,' "$dir/j.csv" || true)
  printf '%-9s %8s %10s %10s %8s %10s %9s %9s %9s %12s\n' "$n" "${WINDOW}s" "$rows" "$ok" "$misjudged" \
    "$(awk -v d=$((l1 - l0)) -v hz="$HZ" -v w="$WINDOW" -v n="$n" 'BEGIN {printf "%.4f", d / hz / n / w * 3600}')" \
    "$(awk -v k="$rss" 'BEGIN {printf "%.1f", k / 1024}')" \
    "$(awk -v d=$((s1 - s0)) -v hz="$HZ" -v w="$WINDOW" 'BEGIN {printf "%.1f", d / hz / w * 100}')" \
    "$late" "$worst"
  echo "  rows more than 50 ms off: $late_first in receivers' first cycles (all connecting at once)," \
    "$late_scraped later during the scrapes, $((late - late_first - late_scraped)) else"
  echo "  a /metrics scrape ($((bytes / 1000000)) MB): $scrape_ms ms of the lab's CPU"
  # The simulator's own lateness moves the times the lab measures: the whole run's, not the window's.
  sed -n 's/^[^ ]* bursts: /  simulator bursts: /p' "$dir/sim.log"
  grep -m3 "open-files\|cant-connect:" "$dir/lab.log" || true
  rm -f "$dir/lab.log"  # thousands of event lines a minute
done
