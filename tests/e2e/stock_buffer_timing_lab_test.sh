# On a machine whose receive-buffer limit nobody raised (Debian's stock
# net.core.rmem_max, 212992, which KTA_RMEM_PRELOAD imposes), 2000 devices
# answer one probe at once, more than four times what that buffer holds:
# one kta-scan round lists every one and says nothing was lost, and so does
# the window tool's first listen window. What the buffer still loses is
# counted and said, in a line on stderr and in the JSON. Runs in a lab of
# its own with 2000 device addresses.
here=$(cd "$(dirname "$0")" && pwd)
devices=2000
if [ "${KTA_LAB_DEVICES:-0}" -lt "$devices" ]; then
  [ "${KTA_LAB:-}" = 1 ] || { echo "FAIL: run me inside the lab" >&2; exit 1; }
  exec "$here/../lab/lab.sh" --devices "$devices" -- bash "$0" "$@"
fi
. "$here/lib.sh"
require_lab
stock=(env LD_PRELOAD="$KTA_RMEM_PRELOAD" KTA_RMEM_MAX=212992)
granted=425984  # what Linux reports for that limit: twice what datagrams may use

start_devsim || exit 1
lab_device_addrs "$devices" >"$WORK/expected"  # counted upward: numeric order

"${stock[@]}" "$SCAN" >"$WORK/one" 2>"$WORK/one.err"
check "one round lists all $devices devices with the stock buffer" cmp -s "$WORK/one" "$WORK/expected"
check "and says nothing of lost answers" [ ! -s "$WORK/one.err" ]
"${stock[@]}" "$SCAN" --json >"$WORK/json" 2>/dev/null
check "its JSON says none were dropped" \
  python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); sys.exit(not (d["dropped"] == 0 and len(d["devices"]) == 2000))' \
  "$WORK/json"

"${stock[@]}" "$KTA_FIRST_WINDOW" >"$WORK/window" 2>&1
check "the window tool's first window lists all $devices" [ "$(cat "$WORK/window")" = "listed $devices" ]
stop_all

# One device that answers 60,000 times at once: more than a window reads
# (4096 a poll) and the buffer holds together, so many are lost.
start_devsim --addr "$(device 0)" --flood 60000 || exit 1
"${stock[@]}" "$SCAN" --json >"$WORK/flood" 2>"$WORK/flood.err"
dropped=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["dropped"])' "$WORK/flood")
check "a flood's lost answers are counted in the JSON" [ "${dropped:-0}" -gt 18000 ]
check "and said in one line, with the buffer's size" [ "$(cat "$WORK/flood.err")" = \
  "kta-scan: $dropped answers were dropped by a full receive buffer ($granted bytes); raise net.core.rmem_max or use --rounds" ]
stop_all
finish
