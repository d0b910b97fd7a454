# The real kta-probe under Xvfb in the lab with a dozen simulated devices,
# then a hundred: rows double-clicked and Refresh clicked through xdotool, the
# window closed by its close box's request, the URLs that reach the browser
# checked.
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
XCLOSE=${KTA_X_CLOSE:?the path of x_close_request}

start_xvfb || exit 1
make_browser_recorder
start_devsim --range "$(device 0)-$(device 11)" || exit 1
for i in $(seq 0 11); do echo "http://$(device "$i")"; done >"$WORK/devices"

cd "$WORK" || exit 1
"$PROBE" --ignored extra arguments >"$WORK/probe.out" 2>&1 &
app=$!
PIDS+=("$app")
win=$(probe_window_id)
check "the window appears" [ -n "$win" ]
sleep 1.5  # one listen window

# The first listen window lists all twelve: each row opens its device's page.
for row in $(seq 0 11); do
  double_click_row "$win" "$row"
  sleep 0.3
done
sleep 0.5
check "twelve rows opened the twelve devices' pages, in text order" \
  cmp -s "$WORK/opened" <(LC_ALL=C sort "$WORK/devices")
check "the twelfth row opens http://10.77.0.21" [ "$(tail -n1 "$WORK/opened")" = "http://10.77.0.21" ]

# Refresh empties the list and probes again; the devices come back, with 88
# more: one window lists all 100, and the keyboard scrolls to the last.
start_devsim --range "$(device 12)-$(device 99)" || exit 1
rm -f "$WORK/opened"
click_refresh "$win"
sleep 1.5
double_click_row "$win" 0
sleep 0.8
check "after Refresh the first row is the first device again" \
  [ "$(cat "$WORK/opened" 2>/dev/null)" = "http://$(device 0)" ]
xdotool key End  # to the list, which has the focus since its click
sleep 0.3
double_click_row "$win" 11
sleep 0.8
last=$(for i in $(seq 0 99); do device "$i"; done | LC_ALL=C sort | tail -n1)
check "End scrolls to the hundredth device, whose row opens its page" \
  [ "$(tail -n1 "$WORK/opened" 2>/dev/null)" = "http://$last" ]

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
