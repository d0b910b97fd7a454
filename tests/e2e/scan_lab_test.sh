# kta-scan against kta-devsim in the lab: what it lists, how, and its exit codes.
. "$(dirname "$0")/lib.sh"
require_lab

# No device yet: exit 0, nothing listed, and a hint on stderr.
"$SCAN" >"$WORK/none.out" 2>"$WORK/none.err"
check "no device: exit 0" [ $? -eq 0 ]
check "no device: nothing listed" [ ! -s "$WORK/none.out" ]
check "no device: one-line firewall hint naming port 10000" \
  bash -c "[ \$(wc -l <'$WORK/none.err') -eq 1 ] && grep -q 'no device answered.*firewall.*10000' '$WORK/none.err'"

start_devsim --range "$(device 0)-$(device 24)" --log-probes || exit 1
heard=$DEVSIM_OUT
for i in $(seq 0 24); do device "$i"; done | numeric_sort >"$WORK/expected"

"$SCAN" >"$WORK/one.out" 2>"$WORK/one.err"
check "25 devices, 1 round: exit 0" [ $? -eq 0 ]
check "25 devices, 1 round: all listed once, in numeric order" cmp -s "$WORK/one.out" "$WORK/expected"
check "devices found: stderr stays quiet" [ ! -s "$WORK/one.err" ]
check "one adapter: the round sent one probe, to 255.255.255.255 from port 10000" \
  [ "$(probes_heard "$heard")" = "10.77.0.1:10000 to 255.255.255.255" ]

before=$(probes_heard "$heard" | wc -l)
"$SCAN" --rounds 3 >"$WORK/three.out"
check "3 rounds: the same list" cmp -s "$WORK/three.out" "$WORK/expected"
check "3 rounds: three probes, each to 255.255.255.255 from port 10000" \
  [ "$(probes_heard "$heard" | tail -n +$((before + 1)) | uniq -c | sed 's/^ *//')" = \
    "3 10.77.0.1:10000 to 255.255.255.255" ]

"$SCAN" --json --rounds=3 >"$WORK/json.out"
expected_json="{\"port\":10000,\"rounds\":3,\"dropped\":0,\"devices\":[$(sed 's/.*/{"address":"&","mac":null,"vendor":null,"interface":"lab0"}/' "$WORK/expected" | paste -sd,)]}"
check "--json: one object with every device and its adapter" [ "$(cat "$WORK/json.out")" = "$expected_json" ]

"$SCAN" --interface no-such-adapter >"$WORK/unknown.out" 2>"$WORK/unknown.err"
check "--interface with an unknown name: exit 2" [ $? -eq 2 ]
check "--interface with an unknown name: the message names it" \
  grep -qx "kta-scan: no network adapter is named 'no-such-adapter'" "$WORK/unknown.err"
check "--interface with an unknown name: nothing on stdout" [ ! -s "$WORK/unknown.out" ]

# Port 10000 held by a scan in progress: the second scan cannot open it.
"$SCAN" --rounds 5 >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do  # until the holder has bound port 10000 (0x2710)
  grep -q ':2710 ' /proc/net/udp && break
  sleep 0.05
done
"$SCAN" >"$WORK/busy.out" 2>"$WORK/busy.err"
rc=$?
check "port 10000 taken: exit 1" [ "$rc" -eq 1 ]
check "port 10000 taken: the message names the port" grep -q 'cannot open UDP port 10000' "$WORK/busy.err"
check "port 10000 taken: nothing on stdout" [ ! -s "$WORK/busy.out" ]
wait "$holder"
check "the holder's scan still succeeded" [ $? -eq 0 ]

stop_all
finish
