#!/usr/bin/env bash
# CPU time of a five-round kta-scan while one device floods port 10000 with
# 50,000 datagrams a second (target: under 5 percent of one core).
#   bench/channel_cpu.sh [BUILD_DIR]     runs itself inside the lab
set -euo pipefail
build=${1:-build}
rate=${KTA_BENCH_RATE:-50000}
if [ "${KTA_LAB:-}" != 1 ]; then
  exec "$(dirname "$0")/../tests/lab/lab.sh" --devices 2 -- "$0" "$build"
fi

out=$(mktemp /tmp/kta-bench.XXXXXX)
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$out"' EXIT
# After the first probe the device never stops answering, paced at the rate.
"$build/tools/kta-devsim" --addr 10.77.0.10 --flood 100000000 --rate "$rate" >"$out" 2>&1 &
sim=$!
for _ in $(seq 100); do grep -q answering "$out" && break; sleep 0.05; done

udp() {  # InDatagrams + RcvbufErrors (arrived, read or dropped at the full buffer)
  awk '/^Udp:/ { if (h) { print $2 + $6; exit } h = 1 }' /proc/net/snmp
}
start_udp=$(udp)
start_ns=$(date +%s%N)
TIMEFORMAT='%3U %3S'
times=$( { time "$build/tools/kta-scan" --rounds 5 >/dev/null 2>&1; } 2>&1 )
end_ns=$(date +%s%N)
arrived=$(( $(udp) - start_udp ))
wall_ms=$(( (end_ns - start_ns) / 1000000 ))
read -r user sys <<<"$times"
cpu_ms=$(( 10#${user/./} + 10#${sys/./} ))
echo "flood: $arrived datagrams in ${wall_ms} ms, about $(( arrived * 1000 / wall_ms )) a second (asked: $rate)"
echo "kta-scan --rounds 5: ${cpu_ms} ms of CPU in ${wall_ms} ms, $(( cpu_ms * 1000 / wall_ms / 10 )).$(( cpu_ms * 1000 / wall_ms % 10 )) percent of one core"
