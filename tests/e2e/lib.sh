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

cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null; done
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
# Its pid is left in DEVSIM_PID.
start_devsim() {
  local out="$WORK/devsim.$RANDOM.out"
  "$DEVSIM" "$@" >"$out" 2>&1 &
  DEVSIM_PID=$!
  PIDS+=("$DEVSIM_PID")
  local i
  for i in $(seq 100); do
    grep -q '^kta-devsim: answering' "$out" 2>/dev/null && return 0
    kill -0 "$DEVSIM_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "kta-devsim did not start: $(cat "$out")" >&2
  return 1
}

stop_all() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null; done
  PIDS=()
}

# The lab's device N (0-based) of 10.77.0.10 upward, while N < 245.
device() { echo "10.77.0.$((10 + $1))"; }

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

# The browser is a recorder: it writes down each URL it is asked to open.
make_browser_recorder() {
  cat >"$WORK/browser.sh" <<'SCRIPT'
#!/bin/sh
echo "$1" >>"$(dirname "$0")/opened"
SCRIPT
  chmod +x "$WORK/browser.sh"
  export BROWSER="$WORK/browser.sh"
}
