# A flood of malformed replies at port 10000 while the window tool runs: it
# keeps answering Refresh, its memory stays flat and its CPU low, it lists the
# real devices again on the first Refresh after the flood, and it still closes.
# KTA_FLOOD_SECONDS of flood (4; make stress 30) at KTA_FLOOD_RATE datagrams
# a second (100,000).
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
XCLOSE=${KTA_X_CLOSE:?the path of x_close_request}
TAP=${KTA_UDP_TAP:?the path of udp_tap}
seconds=${KTA_FLOOD_SECONDS:-4}
rate=${KTA_FLOOD_RATE:-100000}

start_xvfb || exit 1
make_browser_recorder
start_devsim --range "$(device 0)-$(device 4)" || exit 1  # the real devices
"$TAP" 9999 >"$WORK/tap" 2>&1 &
PIDS+=("$!")
for _ in $(seq 100); do grep -q listening "$WORK/tap" && break; sleep 0.05; done

now_ms() { echo $(($(date +%s%N) / 1000000)); }
probes() { grep -c '^[0-9]* 1$' "$WORK/tap"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' /proc/"$app"/status; }
ticks() { awk '{ print $14 + $15 }' /proc/"$app"/stat; }
udp_in() {  # InDatagrams + RcvbufErrors: arrived, read or dropped at the full buffer
  awk '/^Udp:/ { if (h) { print $2 + $6; exit } h = 1 }' /proc/net/snmp
}
refresh() { click_refresh "$win"; }
# Clicks Refresh and waits up to 2 s for its probe; prints the wait in ms.
refresh_latency() {
  local before t0 i
  before=$(probes)
  t0=$(now_ms)
  refresh
  for i in $(seq 200); do
    [ "$(probes)" -gt "$before" ] && { echo $(($(tail -n1 "$WORK/tap" | cut -d' ' -f1) - t0)); return 0; }
    sleep 0.01
  done
  echo 9999
}

cd "$WORK" || exit 1
"$PROBE" >"$WORK/probe.out" 2>&1 &
app=$!
PIDS+=("$app")
win=$(probe_window_id)
check "the window appears" [ -n "$win" ]
sleep 1.5

# The flood answers the next probe, from an address of its own, with "!" replies.
start_devsim --addr "$(device 29)" --wrong-first --flood $((rate * seconds * 2)) --rate "$rate" || exit 1
flood=$DEVSIM_PID
in0=$(udp_in)
refresh
sleep 1
rss0=$(rss_kb)
t0=$(ticks)
start=$(now_ms)
worst=0
clicks=0
rss_max=$rss0
while [ $(($(now_ms) - start)) -lt $(((seconds - 1) * 1000)) ]; do
  wait_ms=$(refresh_latency)
  clicks=$((clicks + 1))
  [ "$wait_ms" -gt "$worst" ] && worst=$wait_ms
  r=$(rss_kb)
  [ "$r" -gt "$rss_max" ] && rss_max=$r
  sleep 0.5
done
elapsed=$(($(now_ms) - start))
cpu_ms=$((($(ticks) - t0) * 1000 / $(getconf CLK_TCK)))
kill "$flood"
wait "$flood" 2>/dev/null
arrived=$(($(udp_in) - in0))
per_s=$((arrived * 1000 / (elapsed + 1000)))
echo "flood: about $per_s datagrams a second for $((elapsed / 1000 + 1)) s (asked: $rate)"
echo "window tool: ${cpu_ms} ms CPU in ${elapsed} ms; RSS ${rss0} kB, at most ${rss_max} kB; slowest Refresh to probe: ${worst} ms over $clicks clicks"
# A quarter: the machine may be shared, and the buffer is full either way.
check "the flood reached at least a quarter of the asked rate" [ "$per_s" -ge $((rate / 4)) ]
check "every Refresh under the flood sent its probe within 1 s" [ "$worst" -lt 1000 ]
check "memory stayed flat under the flood (within 1 MB)" [ $((rss_max - rss0)) -le 1024 ]
check "CPU under the flood stayed under 10 percent of a core" [ $((cpu_ms * 10)) -lt "$elapsed" ]

# After the flood the socket still holds what arrived while its buffer was
# full; the first Refresh must list the real devices all the same.
rx_bytes() {
  local hex
  hex=$(awk '$2 ~ /:2710$/ { split($5, q, ":"); print q[2]; exit }' /proc/net/udp)
  echo $((16#${hex:-0}))
}
sleep 0.2
echo "after the flood: $(rx_bytes) bytes wait in port 10000's buffer"
refresh
sleep 1.3
# The five devices sort as they are numbered: open the first row's page, then the fifth's.
opened_row() {
  rm -f "$WORK/opened"
  double_click_row "$win" "$1"
  sleep 0.5
  cat "$WORK/opened" 2>/dev/null
}
first=$(opened_row 0)
fifth=$(opened_row 4)
echo "after one Refresh the first row opens '$first', the fifth '$fifth'"
check "the first Refresh after the flood lists the real devices again" \
  [ "$first" = "http://$(device 0)" -a "$fifth" = "http://$(device 4)" ]

# And the close still works while a new flood arrives.
start_devsim --addr "$(device 29)" --wrong-first --flood $((rate * 2)) --rate "$rate" || exit 1
refresh
sleep 0.5
t_close=$(now_ms)
"$XCLOSE" "Corvane KTA-310 Probe" >/dev/null
for _ in $(seq 200); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app" 2>/dev/null && kill -9 "$app"
wait "$app"
code=$?
close_ms=$(($(now_ms) - t_close))
check "closed under the flood with exit code 0 (got $code)" [ "$code" -eq 0 ]
check "closing under the flood took under 3 s (${close_ms} ms)" [ "$close_ms" -lt 3000 ]
check "no leak reported" bash -c "! grep -q my_total '$WORK/probe.out'"
finish
