#!/usr/bin/env bash
# kta-scan.exe --web and --watch under Wine in the lab, against the Linux
# kta-devsim: pages checked, a device lost and found again, Ctrl+C (SIGINT
# to the Wine process) ending the watch with exit 0; then a thousand devices
# in one round, read by the Windows receiver.
#   (inside tests/lab/wine.sh) tests/e2e/scan_wine_e2e.sh NATIVE_BUILD WINDOWS_BUILD
set -u
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
if [ -z "${KTA_WINE_NETNS:-}" ] || [ "$KTA_WINE_NETNS" != "$(readlink /proc/self/ns/net)" ]; then
  echo "scan_wine_e2e: run inside tests/lab/wine.sh in the lab (make test-windows does)" >&2
  exit 1
fi
work=$(mktemp -d /tmp/kta-scan-wine.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
code=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; code=1; fi
}
start_sim() {  # start_sim OUT kta-devsim options...: its pid in SIM
  local out=$1
  shift
  "$native/tools/kta-devsim" "$@" >"$out" 2>&1 &
  SIM=$!
  pids+=("$SIM")
  for _ in $(seq 100); do grep -q answering "$out" && return 0; sleep 0.05; done
  echo "FAIL: kta-devsim did not start: $(cat "$out")"
  exit 1
}
wait_count() {  # wait_count FILE SECONDS REGEX COUNT
  local i
  for i in $(seq $(($2 * 20))); do
    [ "$(tr -d '\r' <"$1" | grep -cE "$3")" -ge "$4" ] && return 0
    sleep 0.05
  done
  return 1
}
ms_now() { date +%s%3N; }
. "$(dirname "$0")/../lab/address_plan.sh"

start_sim "$work/pages" --range 10.77.0.10-10.77.0.12 --http
start_sim "$work/silent" --addr 10.77.0.13 --http-misbehave silent
start_sim "$work/comes" --addr 10.77.0.14
comes=$SIM
cd "$work" || exit 1

wine "$windows/tools/kta-scan.exe" --web >"$work/web.raw" 2>"$work/web.err"
rc=$?
tr -d '\r' <"$work/web.raw" >"$work/web.out"
printf '%s\n' "10.77.0.10 web 200 OK \"Corvane KTA-310 10.77.0.10\"" \
  "10.77.0.11 web 200 OK \"Corvane KTA-310 10.77.0.11\"" "10.77.0.12 web 200 OK \"Corvane KTA-310 10.77.0.12\"" \
  "10.77.0.13 web timeout" "10.77.0.14 web 404 Not Found" >"$work/web.expected"
check "kta-scan.exe --web: exit 0 ($rc)" [ "$rc" -eq 0 ]
check "kta-scan.exe --web: each page as it answered" cmp -s "$work/web.out" "$work/web.expected"
diff "$work/web.expected" "$work/web.out" | sed 's/^/  /'
wine "$windows/tools/kta-scan.exe" --web --json 2>/dev/null | tr -d '\r' >"$work/web.json"
check "kta-scan.exe --web --json parses and agrees" python3 -c '
import json, sys
lines = []
for d in json.load(open(sys.argv[1]))["devices"]:
    w = d["web"]
    words = [w["error"]] if "error" in w else [str(w["status"]), w["reason"]]
    if w["title"] is not None:
        words.append(chr(34) + w["title"] + chr(34))
    lines.append(" ".join([d["address"], "web"] + words))
assert lines == open(sys.argv[2]).read().splitlines(), lines
' "$work/web.json" "$work/web.expected"

wine "$windows/tools/kta-scan.exe" --watch --interval 1 >"$work/watch.raw" 2>"$work/watch.err" &
watch=$!
pids+=("$watch")
check "kta-scan.exe --watch: every device found" wait_count "$work/watch.raw" 10 '^\+ ' 5
kill -USR1 "$comes"
check "kta-scan.exe --watch: the one that fell silent is lost" wait_count "$work/watch.raw" 8 '^- 10\.77\.0\.14$' 1
kill -USR1 "$comes"
check "kta-scan.exe --watch: ... and found again" wait_count "$work/watch.raw" 5 '^\+ 10\.77\.0\.14$' 2
t0=$(ms_now)
kill -INT "$watch"
wait "$watch"
rc=$?
t1=$(ms_now)
check "kta-scan.exe --watch: Ctrl+C ends it with exit 0 ($rc, $((t1 - t0)) ms)" [ "$rc" -eq 0 ]
check "kta-scan.exe --watch: promptly" [ $((t1 - t0)) -lt 3000 ]
check "kta-scan.exe --watch: nothing on stderr" [ ! -s "$work/watch.err" ]
kill "${pids[@]}" 2>/dev/null
wait "${pids[@]}" 2>/dev/null
pids=()

# A thousand devices: the lab's own and more addresses beside them, taken away after.
many=1000
lab_device_addrs "$many" | tail -n +$((${KTA_LAB_DEVICES:-0} + 1)) >"$work/extra"
sed 's|.*|addr add &/32 dev lab0|' "$work/extra" | ip -batch -
start_sim "$work/many.out" --range "10.77.0.10-$(lab_device_addrs "$many" | tail -n1)"
wine "$windows/tools/kta-scan.exe" --json 2>"$work/many.err" | tr -d '\r' >"$work/many.json"
check "kta-scan.exe: one round lists all $many devices, and no drop count Winsock cannot give" \
  python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
assert len(d["devices"]) == int(sys.argv[2]) and "dropped" not in d, (len(d["devices"]), d.keys())
' "$work/many.json" "$many"
# The lab's devices are this machine's own addresses: no neighbour entry, so no guess.
check "kta-scan.exe --json: every device with mac and vendor, null where the table has none" \
  python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))["devices"]
assert all(x["mac"] is None and x["vendor"] is None and x["interface"] for x in d), d[:3]
addrs = [tuple(int(p) for p in x["address"].split(".")) for x in d]
assert addrs == sorted(addrs), "numeric order"
' "$work/many.json"
wine "$windows/tools/kta-scan.exe" --csv 2>/dev/null >"$work/many.csv"
check "kta-scan.exe --csv: a header and a row a device, each ended by CR LF" python3 -c '
import csv, sys
raw = open(sys.argv[1], "rb").read()
rows = list(csv.reader(raw.decode().splitlines()))
assert rows[0] == ["address", "mac", "vendor", "interface"] and len(rows) == int(sys.argv[2]) + 1, rows[:2]
assert raw.count(b"\r\n") == len(rows) and b"\r\r" not in raw
' "$work/many.csv" "$many"
kill "${pids[@]}" 2>/dev/null
wait "${pids[@]}" 2>/dev/null
sed 's|.*|addr del &/32 dev lab0|' "$work/extra" | ip -batch -
exit "$code"
