#!/usr/bin/env bash
# kta-probe.exe and kta-scan.exe end to end under Wine in the lab: the Linux
# kta-devsim answers as a dozen devices, then as three more behind a second
# adapter; the Windows driver works the window and checks the exit.
#   (inside tests/lab/wine.sh) tests/e2e/probe_wine_e2e.sh NATIVE_BUILD WINDOWS_BUILD
set -u
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
if [ -z "${KTA_WINE_NETNS:-}" ] || [ "$KTA_WINE_NETNS" != "$(readlink /proc/self/ns/net)" ]; then
  echo "probe_wine_e2e: run inside tests/lab/wine.sh in the lab (make test-windows does)" >&2
  exit 1
fi
. "$(dirname "$0")/../lab/second_network.sh"
work=$(mktemp -d /tmp/kta-wine-e2e.XXXXXX)
pids=()
plugged=""
trap 'kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null; [ -z "$plugged" ] || second_network_down; rm -rf "$work"' EXIT
code=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; code=1; fi
}
start_sim() {  # start_sim OUT [far_exec] kta-devsim options...
  local out=$1
  shift
  "$@" --log-probes >"$out" 2>&1 &
  pids+=("$!")
  for _ in $(seq 100); do grep -q answering "$out" && return 0; sleep 0.05; done
  echo "FAIL: kta-devsim did not start: $(cat "$out")"
  exit 1
}
heard() { sed -n 's/^kta-devsim: probe from //p' "$1"; }
scan() {  # kta-scan.exe's output without the console's carriage returns; its exit code
  wine "$windows/tools/kta-scan.exe" "$@" >"$work/scan.raw" 2>"$work/scan.err"
  local rc=$?
  tr -d '\r' <"$work/scan.raw"
  return $rc
}

start_sim "$work/near" "$native/tools/kta-devsim" --range 10.77.0.10-10.77.0.21
cd "$work" || exit 1
for i in $(seq 10 21); do echo "10.77.0.$i"; done >"$work/near.expected"  # numeric order

scan --rounds 2 >"$work/scan.out"
check "kta-scan.exe: one round lists all twelve, in numeric order" cmp -s "$work/scan.out" "$work/near.expected"
# Known Wine difference: Wine reports the lab's adapter without carrier
# (10.79.0.1/24) as up, so kta-scan.exe also probes there; no wire carries it.
check "kta-scan.exe on one adapter: one probe a round, to 255.255.255.255 from port 10000" \
  [ "$(heard "$work/near" | grep -v ' to 10\.79\.0\.255$' | uniq -c | sed 's/^ *//')" = \
    "2 10.77.0.1:10000 to 255.255.255.255" ]

echo "kta-probe.exe under Wine against 12 simulated devices:"
wine "$windows/tests/e2e/probe_driver.exe" "$windows/app/kta-probe.exe" 12 | tr -d '\r'
[ "${PIPESTATUS[0]}" -eq 0 ] || code=1

echo "kta-probe.exe under Wine while UDP port 10000 is held by another program:"
wine "$windows/tests/e2e/probe_driver.exe" "$windows/app/kta-probe.exe" 12 --port-held | tr -d '\r'
[ "${PIPESTATUS[0]}" -eq 0 ] || code=1

# A second adapter, whose network only a directed broadcast reaches.
second_network_up 3 || exit 1
plugged=1
start_sim "$work/far" far_exec "$native/tools/kta-devsim" --range 10.78.0.10-10.78.0.12
{ cat "$work/near.expected"; echo 10.78.0.10; echo 10.78.0.11; echo 10.78.0.12; } >"$work/all.expected"
scan >"$work/scan.out"
check "kta-scan.exe lists the devices behind the second adapter too" cmp -s "$work/scan.out" "$work/all.expected"
check "... which heard one probe, by their network's directed broadcast" \
  [ "$(heard "$work/far")" = "10.78.0.1:10000 to 10.78.0.255" ]
scan --interface lab2 >"$work/scan.out"
check "kta-scan.exe --interface lab2 lists only them" \
  [ "$(paste -sd' ' "$work/scan.out")" = "10.78.0.10 10.78.0.11 10.78.0.12" ]
scan --interface no-such-adapter >/dev/null
check "kta-scan.exe --interface with an unknown name: exit 2" [ $? -eq 2 ]

echo "kta-probe.exe under Wine with a second adapter (3 more devices behind it):"
wine "$windows/tests/e2e/probe_driver.exe" "$windows/app/kta-probe.exe" 15 | tr -d '\r'
[ "${PIPESTATUS[0]}" -eq 0 ] || code=1

[ ! -e "$work/log.txt" ] || { echo "FAIL: a clean run wrote log.txt: $(cat "$work/log.txt")"; code=1; }
exit "$code"
