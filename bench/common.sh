# What every whole-program bench shares: a scratch folder, the processes it started (ended,
# with the folder, however the bench ends), and the readings of a process's CPU and memory.
# Sourced, not run.
SCRATCH=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$SCRATCH"
}
trap cleanup EXIT

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }  # utime + stime, in clock ticks
peak_rss_kb() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
