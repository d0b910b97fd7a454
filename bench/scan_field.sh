#!/usr/bin/env bash
# kta-scan in the field: a --web scan of every lab device (wall time, and the
# page check alone), and an idle --watch between probes (CPU, and the
# wake-ups of each thread from the context-switch counts in /proc).
#   tests/lab/lab.sh --devices 300 -- bench/scan_field.sh BUILD_DIR
set -u
build=$(cd "${1:?the build dir}" && pwd)
scan=$build/tools/kta-scan
sim=$build/tools/kta-devsim
[ "${KTA_LAB:-}" = 1 ] || { echo "scan_field: run me inside the lab (tests/lab/lab.sh --devices 300)" >&2; exit 1; }
work=$(mktemp -d /tmp/kta-field.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
ms_now() { date +%s%3N; }

"$sim" --http >"$work/sim" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do grep -q answering "$work/sim" && break; sleep 0.05; done
n=${KTA_LAB_DEVICES:-0}

runs=5
for mode in plain web; do
  : >"$work/$mode.ms"
  for _ in $(seq $runs); do
    t0=$(ms_now)
    if [ "$mode" = web ]; then "$scan" --web --json >"$work/out"; else "$scan" >"$work/out"; fi
    t1=$(ms_now)
    echo $((t1 - t0)) >>"$work/$mode.ms"
  done
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "$n devices, each with a web page; $runs runs each, median wall time:"
echo "  kta-scan          $(median "$work/plain.ms") ms  (one listen window)"
echo "  kta-scan --web    $(median "$work/web.ms") ms  (the pages checked as they answer, inside the window; the manager stopped at once)"
python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))["devices"]
ms = sorted(x["web"].get("ms", -1) for x in d)
ok = sum(1 for x in d if x["web"].get("status") == 200)
print("  last --web run: %d of %d pages 200 OK; time to status line: median %d ms, slowest %d ms" % (ok, len(d), ms[len(ms) // 2], ms[-1]))
' "$work/out"

# An idle watch: 30 devices, a probe every 5 s.
kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null; pids=()
"$sim" --range 10.77.0.10-10.77.0.39 >"$work/sim" 2>&1 &
pids+=("$!")
sleep 0.5
interval=5
"$scan" --watch --interval $interval >"$work/watch" &
watch=$!
pids+=("$watch")
switches() {  # per thread: voluntary+involuntary context switches
  local t
  for t in /proc/"$watch"/task/*; do
    awk -v t="${t##*/}" '/ctxt_switches/ { s += $2 } END { print t, s }' "$t/status"
  done
}
# Nanoseconds on a CPU, all threads (schedstat is finer than the clock ticks of stat).
cpu_ns() { cat /proc/"$watch"/task/*/schedstat | awk '{ s += $1 } END { printf "%d", s }'; }
# From 1.5 s after a probe (its window long over) to 0.3 s before the next.
sleep $((interval + 1)).5
switches >"$work/a"
sleep $((interval - 2)).2
switches >"$work/b"
gap=$(echo "$interval - 1.8" | bc)
echo
echo "kta-scan --watch --interval $interval, 30 devices, the threads between two probes (${gap} s):"
join "$work/a" "$work/b" | awk 'NR == 1 { name = "main" } NR > 1 { name = "thread " NR - 1 }
  { printf "  %-9s %d context switches\n", name, $3 - $2 }'
t0=$(cpu_ns)
s0=$(switches | awk '{ s += $2 } END { print s }')
sleep $((interval * 6))
t1=$(cpu_ns)
s1=$(switches | awk '{ s += $2 } END { print s }')
echo "over 6 intervals ($((interval * 6)) s): CPU $(( (t1 - t0) / 1000 )) us," \
  "$(( (s1 - s0) / 6 )) context switches a probe (all threads), $(grep -c . "$work/watch") lines printed"
