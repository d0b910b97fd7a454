#!/bin/sh
# A shown x11 window under Xvfb: its CPU time and wake-ups over 5 idle
# seconds, its resident memory, and a screenshot.
#   bench/platform_x11.sh [BUILD_DIR] [SCREENSHOT.png]
# Needs Xvfb, xdotool and ImageMagick's import; the build with -DKTA_BENCH=ON.
set -eu
build=${1:-build}
shot=${2:-$build/platform_x11.png}
tmp=$(mktemp -d)
app= XVFB_PID=
trap 'kill $app $XVFB_PID 2>/dev/null; rm -rf "$tmp"' EXIT
. "$(dirname "$0")/../tests/lab/xvfb.sh"
xvfb_start "$tmp" || exit 1

"$build/bench/platform_bench" --window >"$tmp/out" &
app=$!
for _ in $(seq 50); do grep -q shown "$tmp/out" 2>/dev/null && break; sleep 0.1; done
sleep 1

switches() { cat /proc/"$app"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }
ticks() { awk '{ print $14 + $15 }' /proc/"$app"/stat; }
s0=$(switches); t0=$(ticks)
sleep 5
s1=$(switches); t1=$(ticks)
hz=$(getconf CLK_TCK)
echo "idle 5 s: $((s1 - s0)) context switches, $(((t1 - t0) * 1000 / hz)) ms CPU"
grep -E 'VmRSS|RssAnon|RssFile' /proc/"$app"/status
grep -E '^Pss:' /proc/"$app"/smaps_rollup

win=$(xdotool search --name "Corvane KTA-310 Probe" | head -1)
import -window "$win" "$shot"
echo "screenshot: $shot ($(xwininfo -id "$win" | awk '/Width|Height/ { printf "%s ", $2 }'))"

# A real click on the first item through the X server moves the selection there.
xdotool mousemove --window "$win" 60 40 click 1
sleep 0.3
import -window "$win" "${shot%.png}-clicked.png"
echo "after a click on the first item: ${shot%.png}-clicked.png"
