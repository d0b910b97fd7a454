#!/usr/bin/env bash
# The window tool's figures for two bench builds, taken in turns on the same
# machine so that both meet the same noise: start to first paint, resident
# memory and idle wake-ups (bench/probe_x11.sh, in a lab of its own each
# time), and cross-thread SendMessageA round trips a second (platform_bench).
#   bench/side_by_side.sh OLD_BENCH_BUILD NEW_BENCH_BUILD [TURNS]
# Each build is a Release tree configured with -DKTA_BENCH=ON (make bench).
set -uo pipefail
old=$(cd "${1:?the old bench build}" && pwd)
new=$(cd "${2:?the new bench build}" && pwd)
turns=${3:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

# One turn of one build: "paint_ms rss_kb switches sends_per_s" on one line.
measure() {
  local build=$1 window sends
  window=$(tests/lab/lab.sh --devices 12 -- bench/probe_x11.sh "$build" 2>&1)
  sends=$("$build/bench/platform_bench" --benchmark_filter=CrossThreadSend \
    --benchmark_min_time=1 --benchmark_format=csv 2>/dev/null |
    awk -F, '/CrossThreadSend/ { printf "%d", $(NF - 3) }')
  echo "$window" | awk -v sends="${sends:-0}" '
    /start to first paint/ { paint = $5 }
    /^VmRSS/ { rss = $2 }
    /^idle 10 s/ { idle = $4 }
    END { printf "%s %s %s %s\n", paint, rss, idle, sends }'
}

printf '%-5s %-4s %14s %11s %20s %16s\n' turn tree "first paint ms" "VmRSS kB" "idle 10 s switches" "sends a second"
for turn in $(seq "$turns"); do
  for tree in old new; do
    build=$old
    [ "$tree" = new ] && build=$new
    read -r paint rss idle sends <<<"$(measure "$build")"
    printf '%-5s %-4s %14s %11s %20s %16s\n' "$turn" "$tree" "$paint" "$rss" "$idle" "$sends"
  done
done
