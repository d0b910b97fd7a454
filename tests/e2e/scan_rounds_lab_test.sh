# kta-scan over many rounds against every device of the lab: each run ends
# well, lists every device once, in numeric order, and its memory stays flat.
# First one round, which must list them all (300 in make test: what a
# receive buffer of the system's default limit holds); then scans of 5, 10, ...
# rounds, printing how many each listed. KTA_SCAN_ROUNDS (10; make stress
# 100) in steps of KTA_SCAN_STEP (5; make stress 10).
. "$(dirname "$0")/lib.sh"
require_lab
rounds=${KTA_SCAN_ROUNDS:-10}
step=${KTA_SCAN_STEP:-5}
[ -n "${KTA_LAB_DEVICE_RANGE:-}" ] || { echo "FAIL: run me in a lab with devices" >&2; exit 1; }

# Under AddressSanitizer resident memory is no measure of growth: freed
# blocks wait in its quarantine and come back at new addresses (every probe
# reads the adapters afresh and frees the system's list of them again).
# LeakSanitizer checks what is never given back there instead.
measure_rss=1
[ -z "${ASAN_OPTIONS:-}" ] || measure_rss=""

start_devsim || exit 1
devices=$KTA_LAB_DEVICES
lab_device_addrs "$devices" >"$WORK/expected"  # counted upward: numeric order

"$SCAN" >"$WORK/one" 2>"$WORK/one.err"
check "one round: exit 0" [ $? -eq 0 ]
check "one round lists all $devices of $devices devices, once each, in numeric order" \
  cmp -s "$WORK/one" "$WORK/expected"

rss_kb() { awk '/^VmRSS:/ { print $2 }' /proc/"$1"/status 2>/dev/null; }

bad=0
# Rounds add to the list: every scan lists them all again.
for n in $(seq "$step" "$step" "$rounds"); do
  "$SCAN" --rounds "$n" >"$WORK/out" 2>"$WORK/err" &
  scan=$!
  # Resident memory once a second; the first sample after the first round.
  : >"$WORK/rss"
  sleep 1.5
  while kill -0 "$scan" 2>/dev/null; do
    rss_kb "$scan" >>"$WORK/rss"
    sleep 1
  done
  wait "$scan"
  code=$?
  listed=$(wc -l <"$WORK/out")
  first=$(grep -m1 . "$WORK/rss")
  most=$(sort -n "$WORK/rss" | tail -n1)
  echo "after $n rounds: $listed of $devices devices listed; RSS ${first:-?} kB after the first round, at most ${most:-?} kB"
  if [ "$code" -ne 0 ]; then
    bad=$((bad + 1)); echo "$n rounds: exit code $code"; cat "$WORK/err"
  fi
  if ! cmp -s "$WORK/out" "$WORK/expected"; then
    bad=$((bad + 1)); echo "$n rounds: the list is not every device in numeric order, each once"
  fi
  # The list itself grows by its addresses; the rest must not grow.
  if [ -n "$measure_rss" ] && [ -n "$first" ] && [ $((most - first)) -gt 2048 ]; then
    bad=$((bad + 1)); echo "$n rounds: RSS grew from $first kB to $most kB"
  fi
done
check "every scan up to $rounds rounds ended well, listed every device once, memory flat" [ "$bad" -eq 0 ]
stop_all
finish
