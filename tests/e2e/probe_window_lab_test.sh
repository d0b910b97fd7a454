# The real kta-probe under Xvfb in the lab with a dozen simulated devices:
# rows double-clicked and Refresh clicked through xdotool, the window closed
# by its close box's request, the URLs that reach the browser checked.
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
XCLOSE=${KTA_X_CLOSE:?the path of x_close_request}

start_xvfb || exit 1
make_browser_recorder
start_devsim --range "$(device 0)-$(device 11)" || exit 1
for i in $(seq 0 11); do echo "http://$(device "$i")"; done >"$WORK/devices"

# Client-area geometry of the window: list box at (37,25), 16-pixel rows
# inside its border, Refresh button at (67,241) 100x20.
row_y() { echo $((25 + 1 + 16 * $1 + 8)); }
double_click() { xdotool mousemove --window "$win" "$1" "$2" click --repeat 2 --delay 60 1; }

cd "$WORK" || exit 1
"$PROBE" --ignored extra arguments >"$WORK/probe.out" 2>&1 &
app=$!
PIDS+=("$app")
win=$(probe_window_id)
check "the window appears" [ -n "$win" ]
sleep 1.5  # one listen window

# The first window holds nine or ten answers (one per poll); nine rows are sure.
for row in $(seq 0 8); do
  double_click 100 "$(row_y "$row")"
  sleep 0.3
done
sleep 0.5
check "nine rows opened nine pages" [ "$(wc -l <"$WORK/opened" 2>/dev/null)" -eq 9 ]
check "each page is a device's http:// address" \
  bash -c "grep -vxFf '$WORK/devices' '$WORK/opened' | wc -l | grep -qx 0"
check "rows are in text order, each device once" \
  bash -c "LC_ALL=C sort -uc '$WORK/opened'"

# Refresh empties the list and probes again; the devices come back.
rm -f "$WORK/opened"
xdotool mousemove --window "$win" 117 251 click 1
sleep 1.5
double_click 100 "$(row_y 0)"
sleep 0.8
check "after Refresh the first row is the first device again" \
  [ "$(cat "$WORK/opened" 2>/dev/null)" = "http://$(device 0)" ]

# The close box's request ends the process with 0, within about a second.
start=$(date +%s%N)
"$XCLOSE" "Corvane KTA-310 Probe"
check "the close request reached the window" [ $? -eq 0 ]
wait "$app"
code=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
check "exit code 0 after the close" [ "$code" -eq 0 ]
check "closing took under 3 s (took ${elapsed_ms} ms)" [ "$elapsed_ms" -lt 3000 ]
check "a clean run leaves no log.txt" [ ! -e "$WORK/log.txt" ]
check "a clean run reports no leak" bash -c "! grep -q my_total '$WORK/probe.out'"
finish
