#!/usr/bin/env bash
# kta-probe.exe end to end under Wine in the lab: the Linux kta-devsim answers
# as a dozen devices, the Windows driver works the window and checks the exit.
#   (inside tests/lab/wine.sh) tests/e2e/probe_wine_e2e.sh NATIVE_BUILD WINDOWS_BUILD
set -u
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
if [ -z "${KTA_WINE_NETNS:-}" ] || [ "$KTA_WINE_NETNS" != "$(readlink /proc/self/ns/net)" ]; then
  echo "probe_wine_e2e: run inside tests/lab/wine.sh in the lab (make test-windows does)" >&2
  exit 1
fi
work=$(mktemp -d /tmp/kta-wine-e2e.XXXXXX)
"$native/tools/kta-devsim" --range 10.77.0.10-10.77.0.21 >"$work/sim" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q answering "$work/sim" && break; sleep 0.05; done
cd "$work" || exit 1
echo "kta-probe.exe under Wine against 12 simulated devices:"
# A listen window takes at most ten answers, and its first poll usually comes before any.
wine "$windows/tests/e2e/probe_driver.exe" "$windows/app/kta-probe.exe" 9 | tr -d '\r'
code=${PIPESTATUS[0]}
[ ! -e "$work/log.txt" ] || { echo "FAIL: a clean run wrote log.txt: $(cat "$work/log.txt")"; code=1; }
exit "$code"
