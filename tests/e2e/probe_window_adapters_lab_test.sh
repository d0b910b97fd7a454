# The real kta-probe under Xvfb on a machine with two adapters: the devices
# behind the second one are listed with the others, a cable pulled drops them
# at the next Refresh and a cable plugged in adds them at the next Refresh.
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
XCLOSE=${KTA_X_CLOSE:?the path of x_close_request}

start_xvfb || exit 1
make_browser_recorder
start_devsim --range "$(device 0)-$(device 1)" || exit 1
plug_second_network 3 || exit 1
start_far_devsim --range "$(far_device 0)-$(far_device 2)" || exit 1

opened() { tail -n1 "$WORK/opened" 2>/dev/null; }
open_row() {
  rm -f "$WORK/opened"
  double_click_row "$win" "$1"
  sleep 0.6
}

cd "$WORK" || exit 1
"$PROBE" >"$WORK/probe.out" 2>&1 &
app=$!
PIDS+=("$app")
win=$(probe_window_id)
check "the window appears" [ -n "$win" ]
sleep 1.5  # one listen window

open_row 1
check "row 2 is the second near device" [ "$(opened)" = "http://$(device 1)" ]
open_row 4
check "the first window lists the devices behind the second adapter too (row 5: $(opened))" \
  [ "$(opened)" = "http://$(far_device 2)" ]

# The cable is pulled: Refresh lists the near devices only.
kill "$DEVSIM_PID"
second_network_down
click_refresh "$win"
sleep 1.5
open_row 2
check "after the cable is pulled, Refresh lists two devices: row 3 is empty" [ -z "$(opened)" ]

# Plugged in again while the tool runs: the next Refresh probes it.
plug_second_network 3 || exit 1
start_far_devsim --range "$(far_device 0)-$(far_device 2)" || exit 1
click_refresh "$win"
sleep 1.5
open_row 2
check "a cable plugged in counts from the next Refresh (row 3: $(opened))" [ "$(opened)" = "http://$(far_device 0)" ]

"$XCLOSE" "Corvane KTA-310 Probe"
wait "$app"
check "exit code 0 after the close" [ $? -eq 0 ]
finish
