# kta-scan on a machine with two adapters: the lab's own network by the
# default route (lab0), and a second network plugged into lab2 whose devices
# the limited broadcast never reaches. Every probe is logged by the devices.
. "$(dirname "$0")/lib.sh"
require_lab

start_devsim --range "$(device 0)-$(device 2)" --log-probes || exit 1
near=$DEVSIM_OUT
# A round sent before the cable is plugged in finds only the near devices.
"$SCAN" --rounds 6 >"$WORK/plugged" &
scan=$!
PIDS+=("$scan")
sleep 1.5
plug_second_network 5 || exit 1
start_far_devsim --range "$(far_device 0)-$(far_device 4)" --log-probes || exit 1
far=$DEVSIM_OUT
wait "$scan"
{ for i in 0 1 2; do device "$i"; done; for i in 0 1 2 3 4; do far_device "$i"; done; } |
  numeric_sort >"$WORK/all"
check "a network plugged in between rounds is probed from the next round" cmp -s "$WORK/plugged" "$WORK/all"
check "the rounds after the plug reached the far network ($(probes_heard "$far" | wc -l) of 6)" \
  [ "$(probes_heard "$far" | wc -l)" -ge 2 ]
check "each by its network's directed broadcast, from port 10000" \
  bash -c "[ -z \"\$(sed -n 's/^kta-devsim: probe from //p' '$far' | grep -vx '10.78.0.1:10000 to 10.78.0.255')\" ]"

n_near=$(probes_heard "$near" | wc -l)
n_far=$(probes_heard "$far" | wc -l)
"$SCAN" >"$WORK/both"
check "one round lists the devices of both networks" cmp -s "$WORK/both" "$WORK/all"
check "the near network heard the limited broadcast once" \
  [ "$(probes_heard "$near" | tail -n +$((n_near + 1)) | grep -c 'to 255.255.255.255$')" -eq 1 ]
check "the far network heard its directed broadcast once" \
  [ "$(probes_heard "$far" | tail -n +$((n_far + 1)))" = "10.78.0.1:10000 to 10.78.0.255" ]

"$SCAN" --json >"$WORK/json"
# The far network's devices are real neighbours, all behind one link: whether
# the table holds their shared hardware address yet is up to the timing.
check "--json names the adapter behind which each device sits" python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
got = [(x["address"], x["interface"]) for x in d["devices"]]
want = [(a, "lab2" if a.startswith("10.78.") else "lab0") for a in open(sys.argv[2]).read().split()]
assert got == want and d["dropped"] == 0, got
assert all("mac" in x and "vendor" in x for x in d["devices"])
assert all(x["mac"] is None for x in d["devices"] if x["interface"] == "lab0"), "local addresses have no neighbour entry"
' "$WORK/json" "$WORK/all"

n_near=$(probes_heard "$near" | wc -l)
n_far=$(probes_heard "$far" | wc -l)
"$SCAN" --interface lab2 >"$WORK/far-only"
for i in 0 1 2 3 4; do far_device "$i"; done >"$WORK/far-expected"
check "--interface lab2 lists only the devices behind lab2" cmp -s "$WORK/far-only" "$WORK/far-expected"
check "--interface lab2: no limited broadcast went out" \
  bash -c "! { sed -n 's/^kta-devsim: probe from //p' '$near' | tail -n +$((n_near + 1)); \
               sed -n 's/^kta-devsim: probe from //p' '$far' | tail -n +$((n_far + 1)); } | grep -q 255.255.255.255"

"$SCAN" --interface lab0 --interface=lab2 >"$WORK/named-both"
check "--interface twice probes both adapters" cmp -s "$WORK/named-both" "$WORK/all"
"$SCAN" --interface lab0 >"$WORK/near-only"
for i in 0 1 2; do device "$i"; done >"$WORK/near-expected"
check "--interface lab0 lists only the devices on lab0" cmp -s "$WORK/near-only" "$WORK/near-expected"

# Unplugged again: the next scan finds the near devices only, and still ends well.
stop_all
second_network_down
FAR_PLUGGED=""
start_devsim --range "$(device 0)-$(device 2)" || exit 1
"$SCAN" >"$WORK/unplugged"
check "after the cable is pulled: exit 0 and the near devices only" cmp -s "$WORK/unplugged" "$WORK/near-expected"
stop_all
finish
