# The real kta-probe under Xvfb in the lab while another program holds UDP
# port 10000: the window opens with a message box over it that says so, and
# sends nothing; a Refresh while the port is held shows the box again; once
# the port is free, a Refresh probes and the devices are listed.
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
TAP=${KTA_UDP_TAP:?the path of udp_tap}
XCLOSE=${KTA_X_CLOSE:?the path of x_close_request}

start_xvfb || exit 1
make_browser_recorder
start_devsim --range "$(device 0)-$(device 2)" --log-probes || exit 1
devices=$DEVSIM_OUT

# The other program: it binds the port as any program would, without sharing.
"$TAP" 10000 >"$WORK/tap.out" 2>&1 &
tap=$!
PIDS+=("$tap")
for _ in $(seq 100); do grep -q listening "$WORK/tap.out" && break; sleep 0.05; done

cd "$WORK" || exit 1
"$PROBE" >"$WORK/probe.out" 2>&1 &
app=$!
PIDS+=("$app")
windows=$(probe_windows 2)
check "the window opens, and a message box titled as it over it" [ $? -eq 0 ]
win=$(echo "$windows" | head -n1)
box=$(echo "$windows" | tail -n1)
sleep 1
check "nothing was sent: no device heard a probe" [ -z "$(probes_heard "$devices")" ]

# The box is modal: a click on Refresh meanwhile does nothing.
click_refresh "$win"
sleep 0.5
check "Refresh under the box does nothing" [ "$(probe_windows 2 | wc -l)" -eq 2 ]

# Enter ends the box; a Refresh with the port still held brings it back.
xdotool windowfocus --sync "$box" key Return
check "Enter ends the box" probe_windows 1 >/dev/null
click_refresh "$win"
windows=$(probe_windows 2)
check "a Refresh while the port is held shows the box again" [ $? -eq 0 ]
box=$(echo "$windows" | tail -n1)
check "still nothing was sent" [ -z "$(probes_heard "$devices")" ]

# Once the port is free, a Refresh opens it and probes as usual.
kill "$tap"
wait "$tap" 2>/dev/null
click_box_ok "$box"
check "its OK button ends the box" probe_windows 1 >/dev/null
click_refresh "$win"
sleep 1.5  # one listen window
check "the Refresh after the port came free sent one probe" \
  [ "$(probes_heard "$devices" | wc -l)" -eq 1 ]
double_click_row "$win" 0
sleep 0.8
check "... and the devices are listed: the first row opens http://$(device 0)" \
  [ "$(cat "$WORK/opened" 2>/dev/null)" = "http://$(device 0)" ]

"$XCLOSE" "Corvane KTA-310 Probe"
wait "$app"
check "exit code 0 after the close" [ $? -eq 0 ]
check "no log.txt" [ ! -e "$WORK/log.txt" ]
finish
