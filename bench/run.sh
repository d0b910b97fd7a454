#!/usr/bin/env bash
# make bench: every micro-benchmark and process-level measurement, each in
# its own lab namespace, written to OUT (BENCHMARKS.md) with the machine.
#   bench/run.sh BENCH_BUILD_DIR OUT
# KTA_BENCH_QUICK=1 shortens the 1000-device scan to 20 rounds; KTA_BENCH_OLD,
# another bench build, adds the window tool's figures beside it.
set -uo pipefail
build=$(cd "${1:?the bench build dir}" && pwd)
out=${2:?the output file}
root=$(cd "$(dirname "$0")/.." && pwd)
lab="$root/tests/lab/lab.sh"
tmp=$(mktemp -d /tmp/kta-bench.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
e2e=(env KTA_PROBE="$build/app/kta-probe" KTA_X_CLOSE="$build/tests/e2e/x_close_request"
  KTA_UDP_TAP="$build/tests/e2e/udp_tap")
tools=("$build/tools/kta-scan" "$build/tools/kta-devsim")
scan_rounds=100
[ "${KTA_BENCH_QUICK:-}" = 1 ] && scan_rounds=20

commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null)$(git -C "$root" diff --quiet HEAD 2>/dev/null || echo ' with local changes')
section() {
  printf '\n## %s\n\nReproduce: `%s` (measured at %s, %s)\n\n```\n' "$1" "$2" "$commit" \
    "$(date -u '+%Y-%m-%d %H:%M UTC')" >>"$out.new"
}
endsection() { printf '```\n' >>"$out.new"; }
# run TITLE REPRODUCE COMMAND...: the command's output, or its failure, in a section.
run() {
  local title=$1 how=$2
  shift 2
  echo "bench: $title" >&2
  section "$title" "$how"
  "$@" >"$tmp/o" 2>&1
  local rc=$?
  cat "$tmp/o" >>"$out.new"
  [ $rc -eq 0 ] || echo "(exit status $rc)" >>"$out.new"
  endsection
}
micro() { "$build/bench/$1" --benchmark_format=console --benchmark_color=false "${@:2}"; }

{
  echo "# Benchmarks"
  echo
  echo "Produced by \`make bench\` (bench/run.sh); a Release build with -DKTA_BENCH=ON in build-bench/."
  echo "Every measurement runs inside the lab network namespace (tests/lab/lab.sh)."
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Machine: $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
  echo "- Kernel: $(uname -sr)"
  echo "- Commit: $(git -C "$root" rev-parse --short HEAD 2>/dev/null)$(git -C "$root" diff --quiet HEAD 2>/dev/null || echo ' (with local changes)')"
  echo "- The machine is shared: wall-clock figures carry the noise of other work."
  echo "- Google Benchmark's \"built as DEBUG\" warning is about Debian's libbenchmark itself, not this code."
} >"$out.new"

export -f micro
export build
run "Allocator and conversions (micro)" \
  "tests/lab/lab.sh -- build-bench/bench/support_bench" \
  "$lab" -- bash -c 'micro support_bench'
run "TCP connection manager: CPU of its pass over 1024 silent attempts, accept to on_connected (micro)" \
  "tests/lab/lab.sh -- build-bench/bench/tcp_cx_bench" \
  "$lab" -- bash -c 'micro tcp_cx_bench'
run "Cross-thread SendMessageA round trip, sorted list box add (micro)" \
  "tests/lab/lab.sh -- build-bench/bench/platform_bench" \
  "$lab" -- bash -c 'micro platform_bench'
run "Broadcast channel: window length (send to on_done) and idle wake-ups" \
  "tests/lab/lab.sh -- build-bench/bench/channel_window_bench" \
  "$lab" -- bash -c 'micro channel_window_bench'
run "kta-scan CPU under a 50,000 a second reply flood" \
  "bench/channel_cpu.sh build-bench" \
  "$root/bench/channel_cpu.sh" "$build"

run "Devices listed by one probe: kta-scan's round and the window tool's first window, 500 to 4000 devices" \
  "tests/lab/lab.sh --devices 4000 -- bench/listed.sh build-bench" \
  "$lab" --devices 4000 -- "$root/bench/listed.sh" "$build"

probe_1000() {  # probe_1000 DEVSIM BENCH
  "$1" >/dev/null 2>&1 &
  local sim=$!
  sleep 0.5
  "$2" --benchmark_format=console --benchmark_color=false
  kill "$sim"; wait "$sim" 2>/dev/null
}
export -f probe_1000
run "Window tool (headless) with 1000 answering devices: its first listen window" \
  "tests/lab/lab.sh --devices 1000 -- bash -c 'kta-devsim & build-bench/bench/probe_window_bench'" \
  "$lab" --devices 1000 -- bash -c 'probe_1000 "$0" "$1"' "$build/tools/kta-devsim" "$build/bench/probe_window_bench"
run "Window tool: start to first paint, resident memory, idle CPU and wake-ups" \
  "tests/lab/lab.sh --devices 12 -- bench/probe_x11.sh build-bench" \
  "$lab" --devices 12 -- bash -c "cd '$root' && bench/probe_x11.sh '$(realpath --relative-to="$root" "$build")'"
# Beside an older bench build, when one is named: the same figures in turns.
if [ -n "${KTA_BENCH_OLD:-}" ]; then
  run "Window tool beside the bench build in $KTA_BENCH_OLD, in turns" \
    "bench/side_by_side.sh OLD_BENCH_BUILD build-bench 3" \
    "$root/bench/side_by_side.sh" "$KTA_BENCH_OLD" "$build" 3
fi
run "Window tool: close time (20 closes at random moments under a reply flood)" \
  "tests/lab/lab.sh --devices 30 -- env KTA_PROBE=... KTA_X_CLOSE=... bash tests/e2e/probe_close_stress_lab_test.sh kta-scan kta-devsim" \
  "$lab" --devices 30 -- "${e2e[@]}" KTA_STRESS_RUNS=20 bash "$root/tests/e2e/probe_close_stress_lab_test.sh" "${tools[@]}"
run "Window tool under a 100,000 a second flood of malformed replies for 10 s" \
  "tests/lab/lab.sh --devices 30 -- env KTA_FLOOD_SECONDS=10 ... bash tests/e2e/probe_flood_timing_lab_test.sh kta-scan kta-devsim" \
  "$lab" --devices 30 -- "${e2e[@]}" KTA_FLOOD_SECONDS=10 bash "$root/tests/e2e/probe_flood_timing_lab_test.sh" "${tools[@]}"
run "kta-scan against 1,000 devices: devices listed after each tenth round, memory" \
  "tests/lab/lab.sh --devices 1000 -- env KTA_SCAN_ROUNDS=100 KTA_SCAN_STEP=10 bash tests/e2e/scan_rounds_lab_test.sh kta-scan kta-devsim" \
  "$lab" --devices 1000 -- env KTA_SCAN_ROUNDS=$scan_rounds KTA_SCAN_STEP=10 bash "$root/tests/e2e/scan_rounds_lab_test.sh" "${tools[@]}"

run "kta-scan --web over 300 devices, and an idle --watch between probes" \
  "tests/lab/lab.sh --devices 300 -- bench/scan_field.sh build-bench" \
  "$lab" --devices 300 -- "$root/bench/scan_field.sh" "$build"

mv "$out.new" "$out"
echo "bench: wrote $out" >&2
