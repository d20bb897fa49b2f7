#!/usr/bin/env bash
# Quorvel on a real X server, seen from outside: a 346x262 client area, min = max size, the
# caption, and window-manager hints that offer no close function.
set -euo pipefail
quorvel=$(realpath "$1")
for tool in Xvfb xwininfo xprop; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: needs $tool (packages xvfb, x11-utils)"; exit 0; }
done
dir=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$dir"' EXIT
cd "$dir"
printf 'COM 1,9600\r\n' >Set.txt
Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>display 2>/dev/null &
for _ in $(seq 100); do [[ -s display ]] && break; sleep 0.1; done
export DISPLAY=:$(cat display) QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 XDG_RUNTIME_DIR=$dir
"$quorvel" &
id=""
for _ in $(seq 100); do
  id=$(xwininfo -root -tree | awk '/346x262/ && /Quorvel/ {print $1; exit}')
  [[ -n "$id" ]] && break
  sleep 0.1
done
[[ -n "$id" ]] || { echo "no 346x262 Quorvel window"; xwininfo -root -tree; exit 1; }
hints=$(xprop -id "$id" _MOTIF_WM_HINTS WM_NORMAL_HINTS _NET_WM_NAME)
echo "$hints"
read -r flags functions < <(sed -n 's/^_MOTIF_WM_HINTS.* = \(0x[0-9a-f]*\), \(0x[0-9a-f]*\).*/\1 \2/p' <<<"$hints")
(( flags & 1 )) || { echo "the hints do not name the functions"; exit 1; }
(( (functions & 0x21) == 0 )) || { echo "the window manager may close it: functions $functions"; exit 1; }
grep -q 'minimum size: 346 by 262' <<<"$hints"
grep -q 'maximum size: 346 by 262' <<<"$hints"
grep -q '"《 Quorvel 》"' <<<"$hints"
echo "ok: 346x262, no close"
