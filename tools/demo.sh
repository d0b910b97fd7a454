#!/usr/bin/env bash
# make demo, inside the lab: a dozen simulated devices, then a scan that lists them all.
#   tools/demo.sh BUILD_DIR     (run under tests/lab/lab.sh --devices 12)
set -u
build=${1:-build}
if [ "${KTA_LAB:-}" != 1 ] || [ -z "${KTA_LAB_DEVICE_RANGE:-}" ]; then
  echo "demo: run me inside the lab: tests/lab/lab.sh --devices 12 -- $0 $build" >&2
  exit 1
fi
out=$(mktemp /tmp/kta-demo.XXXXXX)
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$out"' EXIT

"$build/tools/kta-devsim" --http >"$out" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q '^kta-devsim: answering' "$out" && break
  kill -0 "$sim" 2>/dev/null || { cat "$out" >&2; exit 1; }
  sleep 0.05
done
echo "Simulated devices ${KTA_LAB_DEVICE_RANGE} ($(cat "$out"))"
# A window takes at most ten answers: two rounds list a dozen.
echo "\$ kta-scan --rounds 2"
"$build/tools/kta-scan" --rounds 2 | tee "$out.found"
echo "$(wc -l <"$out.found") devices found."
rm -f "$out.found"
