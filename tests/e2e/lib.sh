# Shared by the end-to-end scripts: sourced with the paths of kta-scan and
# kta-devsim as $1 and $2. Each check prints one line; the script fails at the end
# if any check failed.
set -u
SCAN=$1
DEVSIM=$2
WORK=$(mktemp -d /tmp/kta-e2e.XXXXXX)
PIDS=()
passed=0
failed=0

FAR_PLUGGED=""

cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null; done
  [ -z "$FAR_PLUGGED" ] || second_network_down
  rm -rf "$WORK"
}
trap cleanup EXIT

# Packets only inside the lab namespace; outside it, fail loudly.
require_lab() {
  if [ "${KTA_LAB:-}" != 1 ] || [ "$(readlink /proc/self/ns/net)" != "${KTA_LAB_NETNS:-}" ]; then
    echo "FAIL: not inside the lab namespace; run under tests/lab/lab.sh --devices 30" >&2
    exit 1
  fi
}

check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
  fi
}

# Starts kta-devsim with the given options and waits until it answers.
# Its pid is left in DEVSIM_PID, the file of what it prints in DEVSIM_OUT.
start_devsim() {
  local out="$WORK/devsim.$RANDOM.out"
  "$DEVSIM" "$@" >"$out" 2>&1 &
  DEVSIM_PID=$!
  DEVSIM_OUT=$out
  PIDS+=("$DEVSIM_PID")
  wait_devsim "$out"
}

wait_devsim() {
  local i
  for i in $(seq 100); do
    grep -q '^kta-devsim: answering' "$1" 2>/dev/null && return 0
    kill -0 "$DEVSIM_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "kta-devsim did not start: $(cat "$1")" >&2
  return 1
}

# The probes a kta-devsim started with --log-probes has heard: "SENDER:PORT to ADDRESS" lines.
probes_heard() { sed -n 's/^kta-devsim: probe from //p' "$1"; }

stop_all() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null; done
  PIDS=()
}

# Dotted quads in numeric order, as kta-scan lists them (10.77.0.9 before 10.77.0.10).
numeric_sort() { sort -t. -k1,1n -k2,2n -k3,3n -k4,4n; }

# The lab's device N (0-based): 10.77.0.10 upward, as lab.sh counts them.
. "$(dirname "${BASH_SOURCE[0]}")/../lab/address_plan.sh"
device() { lab_device_addr "$1"; }

# The lab's second network (tests/lab/second_network.sh): far_device N is
# device N behind the second adapter, 10.78.0.10 upward.
. "$(dirname "${BASH_SOURCE[0]}")/../lab/second_network.sh"
far_device() { echo "10.78.0.$((10 + $1))"; }

# Plugs the second network in with N device addresses; unplugged at exit.
plug_second_network() {
  second_network_up "$1" || return 1
  FAR_PLUGGED=1
}

# Starts kta-devsim behind the second adapter, as start_devsim does here.
start_far_devsim() {
  local out="$WORK/far-devsim.$RANDOM.out"
  # Not through far_exec: a function run in the background is a subshell,
  # whose pid is not the simulator's.
  ip netns exec "$KTA_FAR_NETNS" "$DEVSIM" "$@" >"$out" 2>&1 &
  DEVSIM_PID=$!
  DEVSIM_OUT=$out
  PIDS+=("$DEVSIM_PID")
  wait_devsim "$out"
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

. "$(dirname "${BASH_SOURCE[0]}")/../lab/xvfb.sh"

# A private Xvfb for the window tests; DISPLAY is set to it.
start_xvfb() {
  xvfb_start "$WORK" || return 1
  PIDS+=("$XVFB_PID")
}

# The window id of the probe window once it is mapped, or nothing.
probe_window_id() {
  local i id
  for i in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^Corvane KTA-310 Probe$' 2>/dev/null | head -n1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

# The shown windows titled as the probe window, oldest first: the probe window,
# then a message box over it. Waits up to 5 s for N of them; prints them.
probe_windows() {  # probe_windows N
  local i ids
  for i in $(seq 100); do
    ids=$(xdotool search --onlyvisible --name '^Corvane KTA-310 Probe$' 2>/dev/null | sort -n)
    [ "$(echo "$ids" | grep -c .)" -eq "$1" ] && { echo "$ids"; return 0; }
    sleep 0.05
  done
  echo "$ids"
  return 1
}

# A click on a message box's OK button: centred, 12 pixels above the bottom
# of its client area, 23 high.
click_box_ok() {
  local WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(WIDTH|HEIGHT)=')"
  xdotool mousemove --window "$1" $((WIDTH / 2)) $((HEIGHT - 12 - 11)) click 1
}

# The probe window's client area: the list box at (37,25) with 16-pixel rows
# inside its one-pixel border (twelve rows show), the Refresh button at
# (67,241), 100x20.
click_refresh() { xdotool mousemove --window "$1" 117 251 click 1; }
double_click_row() {  # double_click_row WINDOW ROW (0-based, of the rows on show)
  xdotool mousemove --window "$1" 100 $((25 + 1 + 16 * $2 + 8)) click --repeat 2 --delay 60 1
}

# The browser is a recorder: it writes down each URL it is asked to open.
make_browser_recorder() {
  cat >"$WORK/browser.sh" <<'SCRIPT'
#!/bin/sh
echo "$1" >>"$(dirname "$0")/opened"
SCRIPT
  chmod +x "$WORK/browser.sh"
  export BROWSER="$WORK/browser.sh"
}
