# Devices with hardware addresses of their own (tests/lab/lab.sh
# --mac-devices): after one kta-scan every device of the plan has answered,
# the one set to another network too, and the prober's neighbour table, as
# neigh_lookup reads it, holds each device's own hardware address and no
# other's. kta-scan tells which device is which: in numeric order, each with
# its own hardware address and its maker (the longest registry assignment
# winning), a locally administered one saying so, the one outside every
# network named in a hint, in --long, --json and --csv alike, and with --web
# each page's title made safe. Runs in a lab of its own.
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KTA_LAB_MAC_NETNS:-}" ]; then
  [ "${KTA_LAB:-}" = 1 ] || { echo "FAIL: run me inside the lab" >&2; exit 1; }
  exec "$here/../lab/lab.sh" --mac-devices -- bash "$0" "$@"
fi
. "$here/lib.sh"
. "$here/../lab/mac_network.sh"
require_lab
NEIGH_SHOW=${KTA_NEIGH_SHOW:?the path of neigh_show}

# kta-devsim answering for every device of the plan, inside kta-mac.
start_mac_devsim() {
  local out="$WORK/mac-devsim.$RANDOM.out" addr args=()
  for addr in $(mac_device_addrs); do args+=(--addr "$addr"); done
  ip netns exec "$KTA_LAB_MAC_NETNS" "$DEVSIM" "${args[@]}" "$@" >"$out" 2>&1 &
  DEVSIM_PID=$!
  DEVSIM_OUT=$out
  PIDS+=("$DEVSIM_PID")
  wait_devsim "$out"
}

mac_devices >"$WORK/plan"
mac_device_addrs | LC_ALL=C sort >"$WORK/addrs"
check "the plan has five devices" [ "$(wc -l <"$WORK/plan")" -eq 5 ]
check "one of them set to another network" grep -q '^192\.168\.7\.50 ' "$WORK/plan"

"$NEIGH_SHOW" $(mac_device_addrs) >"$WORK/before"
check "before any probe the table holds none of them" \
  [ "$(grep -c ' unknown$' "$WORK/before")" -eq 5 ]

start_mac_devsim --http || exit 1
"$SCAN" >"$WORK/scan" 2>"$WORK/scan.err"
check "one kta-scan lists every device" cmp -s <(LC_ALL=C sort "$WORK/scan") "$WORK/addrs"
check "in numeric order" [ "$(paste -sd' ' "$WORK/scan")" = \
  "10.77.0.9 10.77.0.10 10.77.0.11 10.77.0.100 192.168.7.50" ]
outside="kta-scan: 192.168.7.50 answered from outside every adapter's network; it may be set to another network, and its page may not open from here"
check "the device outside every network is named in one hint" [ "$(cat "$WORK/scan.err")" = "$outside" ]

"$NEIGH_SHOW" $(mac_device_addrs) >"$WORK/after"
check "each device's address maps to its own hardware address" cmp -s "$WORK/after" "$WORK/plan"
"$NEIGH_SHOW" 10.77.0.1 10.77.0.3 10.77.0.2 >"$WORK/others"
check "the prober and a silent address stay unknown, the lab's fixed entry is found" \
  [ "$(cat "$WORK/others")" = $'10.77.0.1 unknown\n10.77.0.3 unknown\n10.77.0.2 02:00:00:00:77:02' ]

# What kta-scan says of each, by the plan: hardware address, maker, adapter.
cat >"$WORK/who" <<'WHO'
10.77.0.9 00:1b:21:0a:4d:09 Intel Corporate lab0
10.77.0.10 44:d5:f2:a0:0a:10 SYS TEC electronic GmbH lab0
10.77.0.11 70:b3:d5:f2:f0:11 TELEPLATFORMS lab0
10.77.0.100 02:4b:54:41:00:64 (locally administered) lab0
192.168.7.50 b8:27:eb:07:00:50 Raspberry Pi Foundation -
WHO
"$SCAN" --long >"$WORK/long" 2>/dev/null
check "--long: each device with its own hardware address, its maker and its adapter" \
  cmp -s <(sed 's/  */ /g; s/ $//' "$WORK/long") "$WORK/who"
check "--long: in columns" [ "$(cut -c17-34 "$WORK/long" | sort -u | wc -l)" -eq 5 -a \
  "$(grep -c '^10\.77\.0\.9       00:1b:21:0a:4d:09 Intel Corporate              lab0$' "$WORK/long")" -eq 1 ]
"$SCAN" --json >"$WORK/json" 2>/dev/null
check "--json: mac, vendor and interface as --long says them, null where there is none" python3 -c '
import json, sys
got = [(d["address"], d["mac"], d["vendor"], d["interface"] or "-") for d in json.load(open(sys.argv[1]))["devices"]]
want = []
for line in open(sys.argv[2]):
    w = line.split()
    want.append((w[0], w[1], " ".join(w[2:-1]), w[-1]))
assert got == want, got
' "$WORK/json" "$WORK/who"
"$SCAN" --csv >"$WORK/csv" 2>/dev/null
check "--csv: a header and the same fields, as a spreadsheet reads them" python3 -c '
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))
assert rows[0] == ["address", "mac", "vendor", "interface"], rows[0]
assert open(sys.argv[1], "rb").read().count(b"\r\n") == len(rows)
want = [line.split()[0:2] for line in open(sys.argv[2])]
assert [r[0:2] for r in rows[1:]] == want, rows
assert rows[4][2] == "(locally administered)" and rows[5][3] == "", rows
' "$WORK/csv" "$WORK/who"

# Another registry file names the makers instead, and one that cannot be read names none.
printf 'Registry,Assignment,Organization Name,Organization Address\nMA-L,001B21,"Someone, Else",\n' \
  >"$WORK/mine.csv"
"$SCAN" --long --oui-file "$WORK/mine.csv" >"$WORK/mine" 2>/dev/null
check "--oui-file: the named file's makers, and only those" \
  [ "$(awk '{ print $3 }' "$WORK/mine" | paste -sd' ')" = "Someone, - - (locally -" ]
"$SCAN" --json --oui-file "$WORK/missing.csv" >"$WORK/none.json" 2>"$WORK/none.err"
check "an unreadable registry: the hardware addresses still, no makers, and a line that says so" \
  bash -c "grep -q 'cannot read the IEEE registry' '$WORK/none.err' && \
    python3 -c 'import json, sys; d = json.load(open(sys.argv[1]))[\"devices\"]; \
      sys.exit(not (all(x[\"mac\"] for x in d) and [x[\"vendor\"] for x in d].count(None) == 4))' \
      '$WORK/none.json'"
stop_all

# Titles: one device's page names itself with an entity and an escape sequence.
start_mac_devsim --http || exit 1
"$SCAN" --web --long >"$WORK/web" 2>/dev/null
check "--web --long: each page's status and title after the columns" \
  [ "$(grep -c ' web 200 OK "Corvane KTA-310 [0-9.]*"$' "$WORK/web")" -eq 5 ]
stop_all
ip netns exec "$KTA_LAB_MAC_NETNS" "$DEVSIM" --addr 10.77.0.11 --http \
  --http-title 'Boiler &amp; Pump\x1b[31m 3' >"$WORK/titled" 2>&1 &
PIDS+=("$!")
wait_devsim "$WORK/titled"
"$SCAN" --web >"$WORK/titled.out" 2>/dev/null
check "--web: the title's entity decoded and its escape sequence gone" \
  [ "$(cat "$WORK/titled.out")" = '10.77.0.11 web 200 OK "Boiler & Pump 3"' ]
stop_all

finish
