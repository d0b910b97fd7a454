#!/bin/sh
# The window tool under Xvfb in the lab, against a dozen simulated devices:
# time from process start to the first painted window, resident memory while
# it runs, and its wake-ups and CPU over 10 idle seconds after the listen
# window has run out.
#   tests/lab/lab.sh --devices 12 -- bench/probe_x11.sh [BUILD_DIR]
set -eu
build=$(cd "${1:-build}" && pwd)
[ "${KTA_LAB:-}" = 1 ] || { echo "probe_x11: run me inside the lab (tests/lab/lab.sh)" >&2; exit 1; }
tmp=$(mktemp -d)
app= sim= XVFB_PID=
trap 'kill $app $sim $XVFB_PID 2>/dev/null; rm -rf "$tmp"' EXIT
. "$(dirname "$0")/../tests/lab/xvfb.sh"
xvfb_start "$tmp" || exit 1
"$build/tools/kta-devsim" --range 10.77.0.10-10.77.0.21 >"$tmp/sim" 2>&1 &
sim=$!
for _ in $(seq 100); do grep -q answering "$tmp/sim" && break; sleep 0.05; done

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The window counts as painted once a pixel of its client area has the tool's blue.
painted() {
  import -window "$1" -crop 1x1+3+3 txt:- 2>/dev/null | grep -q 'srgb(127,127,255)'
}

cd "$tmp"
start=$(now_ms)
"$build/app/kta-probe" 2>"$tmp/err" &
app=$!
win=
for _ in $(seq 500); do
  win=$(xdotool search --onlyvisible --name '^Corvane KTA-310 Probe$' 2>/dev/null | head -n1 || true)
  [ -n "$win" ] && break
done
[ -n "$win" ] || { echo "probe_x11: no window appeared" >&2; cat "$tmp/err" >&2; exit 1; }
shown=no
for _ in $(seq 200); do painted "$win" && { shown=yes; break; }; done
[ $shown = yes ] || { echo "probe_x11: the window was never painted" >&2; exit 1; }
echo "start to first paint: $(($(now_ms) - start)) ms (mapped and blue; polling adds up to ~50 ms)"

sleep 2  # the first listen window runs out
grep -E 'VmRSS|RssAnon|RssFile' /proc/"$app"/status | tr -s ' \t' ' '
switches() { cat /proc/"$app"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }
ticks() { awk '{ print $14 + $15 }' /proc/"$app"/stat; }
s0=$(switches); t0=$(ticks)
sleep 10
s1=$(switches); t1=$(ticks)
echo "idle 10 s: $((s1 - s0)) context switches over all threads, $(((t1 - t0) * 1000 / $(getconf CLK_TCK))) ms CPU"
