# Closing the window at a random moment while replies flood in: every run
# ends within 3 s with exit code 0. KTA_STRESS_RUNS runs (20; make stress 100).
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
XCLOSE=${KTA_X_CLOSE:?the path of x_close_request}
runs=${KTA_STRESS_RUNS:-20}

start_xvfb || exit 1
make_browser_recorder
start_devsim --range "$(device 0)-$(device 19)" --flood 200 || exit 1
cd "$WORK" || exit 1

slow=0
hung=0
bad=0
for run in $(seq "$runs"); do
  "$PROBE" >"$WORK/probe.out" 2>&1 &
  app=$!
  win=$(probe_window_id)
  # Refresh now and then, so a new flood is on its way when the close comes.
  [ $((run % 2)) -eq 0 ] && [ -n "$win" ] && click_refresh "$win"
  sleep "0.$((RANDOM % 10))"
  start=$(date +%s%N)
  "$XCLOSE" "Corvane KTA-310 Probe" >/dev/null
  # A hung run is ended after 10 s so the test itself always finishes.
  for _ in $(seq 200); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
  if kill -0 "$app" 2>/dev/null; then
    hung=$((hung + 1))
    kill -9 "$app"
  fi
  wait "$app"
  code=$?
  elapsed_ms=$((($(date +%s%N) - start) / 1000000))
  [ "$code" -eq 0 ] || { bad=$((bad + 1)); echo "run $run: exit code $code"; cat "$WORK/probe.out"; }
  [ "$elapsed_ms" -lt 3000 ] || { slow=$((slow + 1)); echo "run $run: closing took $elapsed_ms ms"; }
  echo "$elapsed_ms" >>"$WORK/close_ms"
done
sort -n "$WORK/close_ms" | awk '{ v[NR] = $1 } END {
  printf "close request to exit over %d runs: min %d ms, median %d ms, max %d ms\n", NR, v[1], v[int((NR + 1) / 2)], v[NR] }'
check "$runs runs: none hung" [ "$hung" -eq 0 ]
check "$runs runs: every one ended with exit code 0" [ "$bad" -eq 0 ]
check "$runs runs: every close took under 3 s" [ "$slow" -eq 0 ]
finish
