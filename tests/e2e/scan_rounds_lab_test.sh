# kta-scan over many rounds against every device of the lab: each run ends
# well, lists only devices, each once, and its memory stays flat. Prints how
# many devices a scan of 10, 20, ... rounds listed (at most ten a round: one
# datagram per poll). KTA_SCAN_ROUNDS (10; make stress 100) in steps of
# KTA_SCAN_STEP (5; make stress 10).
. "$(dirname "$0")/lib.sh"
require_lab
rounds=${KTA_SCAN_ROUNDS:-10}
step=${KTA_SCAN_STEP:-5}
[ -n "${KTA_LAB_DEVICE_RANGE:-}" ] || { echo "FAIL: run me in a lab with devices" >&2; exit 1; }

start_devsim || exit 1
devices=$KTA_LAB_DEVICES

rss_kb() { awk '/^VmRSS:/ { print $2 }' /proc/"$1"/status 2>/dev/null; }

bad=0
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
  if [ "$listed" -lt 1 ] || [ "$listed" -gt $((n * 10)) ]; then
    bad=$((bad + 1)); echo "$n rounds: $listed listed, not 1 to $((n * 10))"
  fi
  if ! LC_ALL=C sort -uc "$WORK/out" || grep -qv '^10\.77\.[0-9]*\.[0-9]*$' "$WORK/out"; then
    bad=$((bad + 1)); echo "$n rounds: the list is not device addresses in text order, each once"
  fi
  # The list itself grows by its addresses; the rest must not grow.
  if [ -n "$first" ] && [ $((most - first)) -gt 2048 ]; then
    bad=$((bad + 1)); echo "$n rounds: RSS grew from $first kB to $most kB"
  fi
done
check "every scan up to $rounds rounds ended well, listed devices each once, memory flat" [ "$bad" -eq 0 ]
stop_all
finish
