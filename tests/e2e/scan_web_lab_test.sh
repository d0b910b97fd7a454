# kta-scan --web against kta-devsim's web pages: each kind of answer and its
# title, the time limit, checks that start while the window still runs, 300
# devices at once, and JSON that says what the lines say.
. "$(dirname "$0")/lib.sh"
require_lab

ms_now() { date +%s%3N; }

# The JSON of a scan as the plain lines it stands for.
json_as_lines() {
  python3 -c '
import json, sys
for d in json.load(sys.stdin)["devices"]:
    w = d["web"]
    if "error" in w:
        assert set(w) == {"error", "title"} and w["title"] is None
        print(d["address"], "web", w["error"])
    else:
        assert isinstance(w["ms"], int) and w["ms"] >= 0 and set(w) == {"status", "reason", "ms", "title"}
        words = [d["address"], "web", str(w["status"])] + ([w["reason"]] if w["reason"] else [])
        if w["title"] is not None:
            words.append(chr(34) + w["title"] + chr(34))
        print(" ".join(words))
' <"$1"
}

# A device with no web server is found behind the second adapter, where no
# simulator's catch-all page answers for it.
plug_second_network 1 || exit 1
start_far_devsim --addr "$(far_device 0)" || exit 1
start_devsim --range "$(device 0)-$(device 2)" --http || exit 1
start_devsim --addr "$(device 3)" --http-misbehave silent || exit 1
start_devsim --addr "$(device 4)" --http-misbehave garbage || exit 1
start_devsim --addr "$(device 5)" --http-misbehave huge || exit 1
cat >"$WORK/expected" <<LINES
$(device 0) web 200 OK "Corvane KTA-310 $(device 0)"
$(device 1) web 200 OK "Corvane KTA-310 $(device 1)"
$(device 2) web 200 OK "Corvane KTA-310 $(device 2)"
$(device 3) web timeout
$(device 4) web bad-reply
$(device 5) web bad-reply
$(far_device 0) web refused
LINES

cd "$WORK" || exit 1
t0=$(ms_now)
"$SCAN" --web --web-timeout 1 >"$WORK/mixed.out" 2>"$WORK/mixed.err"
rc=$?
t1=$(ms_now)
check "--web: exit 0" [ "$rc" -eq 0 ]
check "--web: each device with what its page gave" cmp -s "$WORK/mixed.out" "$WORK/expected"
check "--web: stderr stays quiet" [ ! -s "$WORK/mixed.err" ]
# The silent one's check starts with its answer, inside the window of 0.9 s,
# and the manager stops at once: its limit of 1 s costs almost nothing more
# (about 1 s in all; a check after the window and a stop in one-second steps
# took 3 s).
check "--web-timeout 1: the silent device costs its limit and no more ($((t1 - t0)) ms)" \
  [ $((t1 - t0)) -lt 2600 ]

t0=$(ms_now)
"$SCAN" --web --web-timeout 3 --json >"$WORK/mixed.json"
t1=$(ms_now)
check "--web-timeout 3: the silent device is given its three seconds ($((t1 - t0)) ms)" \
  [ $((t1 - t0)) -ge 2990 ]
check "--web --json parses and says what the lines say" \
  bash -c "json_as_lines() { $(declare -f json_as_lines | tail -n +2); }; json_as_lines '$WORK/mixed.json' | cmp -s - '$WORK/expected'"
check "--web --json keeps each device's adapter" \
  [ "$(grep -o '"interface":"lab[02]"' "$WORK/mixed.json" | sort | uniq -c | sed 's/^ *//' | paste -sd' ')" = \
    '6 "interface":"lab0" 1 "interface":"lab2"' ]
check "the library's connection log went to log.txt, not among the results" [ -s "$WORK/log.txt" ]
stop_all
second_network_down  # ends the far simulator too
FAR_PLUGGED=""

# Every device of the lab at once: each must be checked within its own
# limit, which it would miss if the checks took turns.
start_devsim --http || exit 1
t0=$(ms_now)
"$SCAN" --web >"$WORK/all.out"
t1=$(ms_now)
check "300 devices at once: all checked ($(wc -l <"$WORK/all.out") lines)" [ "$(wc -l <"$WORK/all.out")" -eq "$KTA_LAB_DEVICES" ]
check "300 devices at once: every page answered 200 OK within the limit" \
  [ "$(grep -c ' web 200 OK "Corvane KTA-310 [0-9.]*"$' "$WORK/all.out")" -eq "$KTA_LAB_DEVICES" ]
check "300 devices at once: one time limit, not one per device ($((t1 - t0)) ms)" [ $((t1 - t0)) -lt 6000 ]
"$SCAN" --web --json >"$WORK/all.json"
check "300 devices at once: the JSON agrees" \
  bash -c "json_as_lines() { $(declare -f json_as_lines | tail -n +2); }; json_as_lines '$WORK/all.json' | cmp -s - '$WORK/all.out'"

stop_all
finish
