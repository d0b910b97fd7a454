#!/usr/bin/env bash
# How many devices one probe lists, of N that answer it: kta-scan's one round
# and the window tool's first listen window (headless, the tool's own loop),
# for 500 to 4000 devices, as one burst and with --jitter 20, with this
# machine's receive-buffer limit and with a stock Debian desktop's (212992,
# imposed by the rmem_cap_preload module). Three runs each; then the window
# tool's CPU serving 2000 answers.
#   tests/lab/lab.sh --devices 4000 -- bench/listed.sh BUILD_DIR
set -u
build=$(cd "${1:?the build dir}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
[ "${KTA_LAB_DEVICES:-0}" -ge 4000 ] || { echo "listed: run me in a lab with 4000 devices" >&2; exit 1; }
. "$root/tests/lab/address_plan.sh"
scan=$build/tools/kta-scan
window=$build/tests/e2e/probe_first_window
preload=$build/tests/librmem_cap_preload.so
work=$(mktemp -d /tmp/kta-listed.XXXXXX)
sim=
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT
last=$(lab_device_addrs 4000 | tail -n1)

start_sim() {  # start_sim N [kta-devsim options]
  local n=$1
  shift
  # The last simulator's "answering" must not stand for this one's.
  rm -f "$work/sim"
  "$build/tools/kta-devsim" --range "10.77.0.10-$(lab_device_addrs "$n" | tail -n1)" "$@" >"$work/sim" 2>&1 &
  sim=$!
  for _ in $(seq 100); do grep -qs answering "$work/sim" && break; sleep 0.05; done
}
stop_sim() { kill "$sim"; wait "$sim" 2>/dev/null; sim=; }
dropped() { python3 -c 'import json, sys; print(json.load(open(sys.argv[1])).get("dropped", "?"))' "$1"; }

echo "receive-buffer limit here: net.core.rmem_max $(cat /proc/sys/net/core/rmem_max); stock: 212992"
echo "each cell: three runs, devices listed (kta-scan's drop count in brackets)"
echo
printf '%-7s %-10s %-7s %-40s %s\n' devices answers limit "kta-scan, one round" "window tool, first window"
for mode in burst jitter; do
  for n in 500 1000 2000 4000; do
    if [ "$mode" = jitter ]; then start_sim "$n" --jitter 20 --seed 1; else start_sim "$n"; fi
    for limit in here stock; do
      pre=()
      [ "$limit" = stock ] && pre=(env LD_PRELOAD="$preload" KTA_RMEM_MAX=212992)
      scans="" windows=""
      for _ in 1 2 3; do
        "${pre[@]}" "$scan" --json >"$work/json" 2>/dev/null
        scans="$scans $(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))["devices"]))' "$work/json")($(dropped "$work/json"))"
        windows="$windows $("${pre[@]}" "$window" 2>/dev/null | sed 's/^listed //')"
      done
      label=$mode
      [ "$mode" = jitter ] && label="jitter 20"
      printf '%-7s %-10s %-7s %-40s %s\n' "$n" "$label" "$limit" "$scans" "$windows"
    done
    stop_sim
  done
done

echo
start_sim 2000
"$build/bench/probe_window_bench" --benchmark_format=console --benchmark_color=false 2>&1 |
  grep -E '^first_window' | sed 's/^/window tool, 2000 devices, this limit:  /'
env LD_PRELOAD="$preload" KTA_RMEM_MAX=212992 "$build/bench/probe_window_bench" --benchmark_format=console \
  --benchmark_color=false 2>&1 | grep -E '^first_window' | sed 's/^/window tool, 2000 devices, stock limit: /'
stop_sim
