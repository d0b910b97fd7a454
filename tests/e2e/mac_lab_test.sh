# Devices with hardware addresses of their own (tests/lab/lab.sh
# --mac-devices): after one kta-scan every device of the plan has answered,
# the one set to another network too, and the prober's neighbour table, as
# neigh_lookup reads it, holds each device's own hardware address and no
# other's. Runs in a lab of its own.
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
check "and says nothing on stderr" [ ! -s "$WORK/scan.err" ]

"$NEIGH_SHOW" $(mac_device_addrs) >"$WORK/after"
check "each device's address maps to its own hardware address" cmp -s "$WORK/after" "$WORK/plan"
"$NEIGH_SHOW" 10.77.0.1 10.77.0.3 10.77.0.2 >"$WORK/others"
check "the prober and a silent address stay unknown, the lab's fixed entry is found" \
  [ "$(cat "$WORK/others")" = $'10.77.0.1 unknown\n10.77.0.3 unknown\n10.77.0.2 02:00:00:00:77:02' ]
stop_all

finish
