# kta-scan --watch: devices found, one lost after three missed probes while
# the other stays, found again; the stop by signal; JSON lines; a reader
# that goes away; and a found device's page checked with --web.
. "$(dirname "$0")/lib.sh"
require_lab

ms_now() { date +%s%3N; }
# ThreadSanitizer's runtime sleeps a second at exit; the stop measured here is the program's own.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}atexit_sleep_ms=0"

# Waits up to $2 seconds for a line matching $3 in file $1.
wait_line() {
  local i
  for i in $(seq $(($2 * 20))); do
    grep -qE "$3" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# Waits up to $2 seconds for $4 lines matching $3 in file $1.
wait_count() {
  local i
  for i in $(seq $(($2 * 20))); do
    [ "$(grep -cE "$3" "$1" 2>/dev/null)" -ge "$4" ] && return 0
    sleep 0.05
  done
  return 1
}

# Sends a signal to a watch and says whether it ended with 0 within a second.
stop_watch() {  # stop_watch PID SIGNAL
  local t0 t1 i
  t0=$(ms_now)
  kill "-$2" "$1"
  for i in $(seq 40); do kill -0 "$1" 2>/dev/null || break; sleep 0.025; done
  wait "$1"
  STOP_RC=$?
  t1=$(ms_now)
  STOP_MS=$((t1 - t0))
}

start_devsim --addr "$(device 0)" || exit 1
stays=$DEVSIM_PID
start_devsim --addr "$(device 1)" || exit 1
goes=$DEVSIM_PID
goes_out=$DEVSIM_OUT

cd "$WORK" || exit 1
"$SCAN" --watch --interval 1 >"$WORK/watch.out" 2>"$WORK/watch.err" &
watch=$!
PIDS+=("$watch")
check "both devices found" wait_line "$WORK/watch.out" 5 "^\+ $(device 1)$"
check "... each once, the first in numeric order" \
  [ "$(paste -sd' ' "$WORK/watch.out")" = "+ $(device 0) + $(device 1)" ]

kill -USR1 "$goes"
wait_line "$goes_out" 2 '^kta-devsim: silent' || echo "the simulator did not fall silent"
t0=$(ms_now)
check "the silent one is reported lost" wait_line "$WORK/watch.out" 8 "^- $(device 1)$"
t1=$(ms_now)
# Three probes a second apart, the first up to a second after it fell silent.
check "... after three missed probes ($((t1 - t0)) ms)" test $((t1 - t0)) -ge 1900 -a $((t1 - t0)) -le 5000
check "the other one is not" bash -c "! grep -q '^- $(device 0)' '$WORK/watch.out'"
kill -USR1 "$goes"
check "it comes back and is found again" wait_count "$WORK/watch.out" 4 "^\+ $(device 1)$" 2

stop_watch "$watch" INT
PIDS=("$stays" "$goes")
check "SIGINT: exit 0 ($STOP_RC)" [ "$STOP_RC" -eq 0 ]
check "SIGINT: within a second ($STOP_MS ms)" [ "$STOP_MS" -lt 1000 ]
check "the watch kept stderr quiet" [ ! -s "$WORK/watch.err" ]
check "the lines: found, found, lost, found" [ "$(cut -c1 "$WORK/watch.out" | tr -d '\n')" = "++-+" ]
check "the channel was closed: port 10000 is free again" bash -c "! grep -q ':2710 ' /proc/net/udp"

"$SCAN" --watch --interval 1 --json >"$WORK/json.out" &
watch=$!
PIDS+=("$watch")
wait_line "$WORK/json.out" 5 "$(device 1)"
kill -USR1 "$goes"
check "--json: a lost event" wait_line "$WORK/json.out" 8 '"event":"lost"'
stop_watch "$watch" TERM
PIDS=("$stays" "$goes")
check "SIGTERM: exit 0 within a second ($STOP_RC, $STOP_MS ms)" test "$STOP_RC" -eq 0 -a "$STOP_MS" -lt 1000
check "--json: one object a line, each with its event, address, time and adapter" python3 -c '
import json, re, sys
events = [json.loads(line) for line in open(sys.argv[1])]
assert [(e["event"], e["address"]) for e in events] == \
    [("found", sys.argv[2]), ("found", sys.argv[3]), ("lost", sys.argv[3])], events
for e in events:
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", e["time"]), e
    assert e["interface"] == "lab0" and "web" not in e, e
' "$WORK/json.out" "$(device 0)" "$(device 1)"
kill -USR1 "$goes"  # answering again

# A reader that goes: the watch ends by itself within about an interval, quietly.
t0=$(ms_now)
timeout 10 bash -c "'$SCAN' --watch --interval 1 2>'$WORK/pipe.err' | head -n 1 >'$WORK/pipe.out'; exit \${PIPESTATUS[0]}"
rc=$?
t1=$(ms_now)
check "a closed pipe ends the watch quietly ($rc, $((t1 - t0)) ms)" \
  test "$rc" -eq 0 -a ! -s "$WORK/pipe.err" -a $((t1 - t0)) -lt 4000
check "... after the line the reader took" [ "$(cat "$WORK/pipe.out")" = "+ $(device 0)" ]
stop_all

# With --web, a device's page is checked when it is found.
start_devsim --addr "$(device 0)" --http || exit 1
"$SCAN" --watch --interval 1 --web >"$WORK/web.out" &
watch=$!
PIDS+=("$watch")
check "--watch --web: the found line carries the page's status and title" \
  wait_line "$WORK/web.out" 5 "^\+ $(device 0) web 200 OK \"Corvane KTA-310 $(device 0)\"$"
stop_watch "$watch" INT
check "--watch --web: SIGINT ends it with 0 ($STOP_MS ms)" [ "$STOP_RC" -eq 0 ]
stop_all
finish
