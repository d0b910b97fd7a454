#!/usr/bin/env bash
# make demo, inside the lab: a dozen simulated devices, a scan that lists
# them all, then the window tool against them: in a window on your display
# when DISPLAY is set, otherwise under Xvfb with a screenshot (demo.png).
#   tools/demo.sh BUILD_DIR     (run under tests/lab/lab.sh --devices 12)
set -u
build=${1:-build}
if [ "${KTA_LAB:-}" != 1 ] || [ -z "${KTA_LAB_DEVICE_RANGE:-}" ]; then
  echo "demo: run me inside the lab: tests/lab/lab.sh --devices 12 -- $0 $build" >&2
  exit 1
fi
out=$(mktemp /tmp/kta-demo.XXXXXX)
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$out"' EXIT

"$build/tools/kta-devsim" --http >"$out" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q '^kta-devsim: answering' "$out" && break
  kill -0 "$sim" 2>/dev/null || { cat "$out" >&2; exit 1; }
  sleep 0.05
done
echo "Simulated devices ${KTA_LAB_DEVICE_RANGE} ($(cat "$out"))"
echo "\$ kta-scan"
"$build/tools/kta-scan" | tee "$out.found"
echo "$(wc -l <"$out.found") devices found."
rm -f "$out.found"

probe="$build/app/kta-probe"
if [ -n "${DISPLAY:-}" ]; then
  echo "\$ kta-probe    (on $DISPLAY: double-click a device to open its page, close the window to end)"
  "$probe"
  echo "kta-probe ended with exit code $?."
  exit 0
fi

# No display: a private Xvfb, the window's picture once the list has filled, then a close request.
shot="${KTA_DEMO_SHOT:-$PWD/demo.png}"
. "$(dirname "$0")/../tests/lab/xvfb.sh"
xvfb_dir=$(mktemp -d /tmp/kta-demo-xvfb.XXXXXX)
XVFB_PID=
trap 'kill "$sim" $XVFB_PID 2>/dev/null; wait "$sim" $XVFB_PID 2>/dev/null; rm -rf "$out" "$xvfb_dir"' EXIT
xvfb_start "$xvfb_dir" || exit 1
echo "\$ kta-probe    (no display here: under Xvfb $DISPLAY)"
"$probe" &
app=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name '^Corvane KTA-310 Probe$' 2>/dev/null | head -n1) && [ -n "$window" ] && break
  sleep 0.05
done
sleep 1.5  # one listen window
import -window "$window" "$shot" 2>/dev/null || import -window root "$shot"
"$build/tests/e2e/x_close_request" "Corvane KTA-310 Probe"
wait "$app"
echo "kta-probe ended with exit code $?; its window is in $shot"
