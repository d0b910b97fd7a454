# The real kta-probe on a desktop with a window manager (openbox) under Xvfb
# in the lab: the keyboard from the start, a copy another program can paste,
# what the window manager is told, a busy-port box that stands over the
# window where the user moved it and keeps the focus, the window at 192 dpi,
# and the box that says no browser could be started.
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
TAP=${KTA_UDP_TAP:?the path of udp_tap}
CLIP=${KTA_X_CLIPBOARD:?the path of x_clipboard}
command -v openbox >/dev/null || { echo "FAIL: openbox is not installed (make deps installs it)"; exit 1; }

# Room for the window at twice its size.
xvfb_start "$WORK" 1280x1024x24 || exit 1
PIDS+=("$XVFB_PID")
openbox >"$WORK/openbox.out" 2>&1 &
PIDS+=("$!")
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.05; done
sleep 0.5  # openbox takes the focus for itself once, as it starts
make_browser_recorder
start_devsim --range "$(device 0)-$(device 11)" --log-probes || exit 1
devices=$DEVSIM_OUT
cd "$WORK" || exit 1

run_probe() {  # run_probe [env assignments...]: the tool in the background, as $app
  env "$@" "$PROBE" >>"$WORK/probe.out" 2>&1 &
  app=$!
  PIDS+=("$app")
}
end_probe() { kill "$app" 2>/dev/null; wait "$app" 2>/dev/null; }
geometry() {  # geometry WINDOW: its X, Y, WIDTH and HEIGHT on the screen, as shell words
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

run_probe
win=$(probe_window_id)
check "the window appears" [ -n "$win" ]
sleep 1.5  # one listen window
actions=$(xprop -id "$win" _NET_WM_ALLOWED_ACTIONS)
check "openbox offers neither resizing nor maximising the fixed window" \
  bash -c "! grep -qE 'RESIZE|MAXIMIZE' <<<'$actions'"
check "_NET_WM_PID names the tool's process" \
  [ "$(xprop -id "$win" _NET_WM_PID | awk '{print $3}')" = "$app" ]
check "WM_HINTS say it takes the focus" bash -c "xprop -id $win WM_HINTS | grep -q 'input focus: True'"

# No click: the list has the focus from the start.
xdotool key Down Down Return
sleep 0.8
check "Down, Down and Enter open the second device's page" \
  [ "$(cat "$WORK/opened" 2>/dev/null)" = "http://$(device 1)" ]
xdotool key ctrl+c
sleep 0.3
check "Ctrl+C copies its address for other programs" [ "$("$CLIP")" = "$(device 1)" ]
xdotool key Tab space
sleep 1.5
check "Tab goes to Refresh, whose Space probes again" [ "$(probes_heard "$devices" | wc -l)" -eq 2 ]
end_probe

# The port held by another program: the box comes over the window.
"$TAP" 10000 >"$WORK/tap.out" 2>&1 &
tap=$!
PIDS+=("$tap")
for _ in $(seq 100); do grep -q listening "$WORK/tap.out" && break; sleep 0.05; done
run_probe
windows=$(probe_windows 2)
check "the busy-port box shows over the window" [ $? -eq 0 ]
win=$(echo "$windows" | head -n1)
box=$(echo "$windows" | tail -n1)
check "the box is a dialog to the window manager" \
  bash -c "xprop -id $box _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_DIALOG"
xdotool mousemove --window "$win" 20 120 click 1
sleep 0.5
check "a click on the disabled window leaves the focus with the box" \
  [ "$(xdotool getwindowfocus)" = "$box" ]
xdotool key Return
check "Enter ends the box" probe_windows 1 >/dev/null
xdotool windowmove "$win" 520 330
sleep 0.5
click_refresh "$win"
windows=$(probe_windows 2)
check "a Refresh with the port still held shows the box again" [ $? -eq 0 ]
box=$(echo "$windows" | tail -n1)
read -r wx wy ww wh <<<"$(geometry "$win")"
read -r bx by bw bh <<<"$(geometry "$box")"
dx=$(((bx + bw / 2) - (wx + ww / 2)))
dy=$(((by + bh / 2) - (wy + wh / 2)))
check "... centred on the window where it was moved to (off by ${dx},${dy})" \
  [ "${dx#-}" -le 16 -a "${dy#-}" -le 30 ]
end_probe
kill "$tap"
wait "$tap" 2>/dev/null

# 192 dpi: twice the size on the screen, and a click lands on the row it shows.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	192"
rm -f "$WORK/opened"
run_probe
win=$(probe_window_id)
sleep 1.5
read -r _ _ ww wh <<<"$(geometry "$win")"
check "at 192 dpi the window is 468x542 (it is ${ww}x${wh})" [ "$ww" = 468 -a "$wh" = 542 ]
xdotool mousemove --window "$win" 200 $((2 * (25 + 1 + 16 * 2 + 8))) click --repeat 2 --delay 60 1
sleep 0.8
check "a double-click on the third row's picture opens the third device's page" \
  [ "$(cat "$WORK/opened" 2>/dev/null)" = "http://$(device 2)" ]
end_probe
xprop -root -remove RESOURCE_MANAGER

# No browser can start: a box says so, instead of nothing at all.
run_probe BROWSER=/no/such/browser:/nor/this PATH=/no/such/folder
win=$(probe_window_id)
sleep 1.5
double_click_row "$win" 0
check "a page no browser could open brings a box that says so" probe_windows 2 >/dev/null
end_probe
finish
