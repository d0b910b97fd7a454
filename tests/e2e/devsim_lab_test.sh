# kta-devsim's web pages, its answers' jitter, and its clean stop.
. "$(dirname "$0")/lib.sh"
require_lab

# One HTTP/1.0 request through bash's /dev/tcp, the whole answer on stdout.
http_get() {
  exec 3<>"/dev/tcp/$1/$2" || return 1
  printf 'GET / HTTP/1.0\r\nHost: %s\r\n\r\n' "$1" >&3
  timeout 5 cat <&3
  exec 3<&-
}

start_devsim --range "$(device 0)-$(device 1)" --http-port 8080 || exit 1
http_get "$(device 1)" 8080 >"$WORK/page"
check "--http: 200 and a page naming the device" \
  bash -c "head -1 '$WORK/page' | grep -q '200 OK' && grep -q 'Simulated device at $(device 1)<' '$WORK/page'"
http_get 10.77.0.1 8080 >"$WORK/other"
check "--http: an address that is no device gets 404" grep -q '404' "$WORK/other"
"$SCAN" >"$WORK/scan"
check "--http devices still answer probes" [ "$(wc -l <"$WORK/scan")" -eq 2 ]
stop_all
start_devsim --addr "$(device 0)" --http-port 8080 --http-title 'A &amp; B \x1b[31m\xff\\ %a %%a' || exit 1
http_get "$(device 0)" 8080 >"$WORK/titled"
printf '<title>A &amp; B \033[31m\377\\ %s %%a</title>' "$(device 0)" >"$WORK/title"
check "--http-title: the title's bytes as given, escapes and %a resolved" \
  env LC_ALL=C grep -qF -f "$WORK/title" "$WORK/titled"

# One probe, then each answer for 700 ms: "MS ADDRESS" lines, MS since the probe.
answer_times() {
  python3 - <<'PY'
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.bind(("0.0.0.0", 0))
t0 = time.monotonic()
s.sendto(b"?", ("255.255.255.255", 9999))
end = t0 + 0.7
while time.monotonic() < end:
    s.settimeout(max(end - time.monotonic(), 0.001))
    try:
        data, (addr, _) = s.recvfrom(2048)
    except socket.timeout:
        break
    print(int((time.monotonic() - t0) * 1000), addr)
PY
}
spread() { awk 'NR == 1 { lo = $1 } { hi = $1 } END { print hi - lo }' "$1"; }
order() { cut -d' ' -f2 "$1"; }
stop_all
start_devsim --range "$(device 0)-$(device 19)" || exit 1
answer_times >"$WORK/burst"
check "without --jitter the 20 answers leave as one burst" \
  [ "$(wc -l <"$WORK/burst")" -eq 20 -a "$(spread "$WORK/burst")" -lt 50 ]
stop_all
start_devsim --range "$(device 0)-$(device 19)" --jitter 300 --seed 7 || exit 1
answer_times >"$WORK/jitter1"
answer_times >"$WORK/jitter2"
check "--jitter 300: the answers spread over most of 300 ms, none later" \
  [ "$(wc -l <"$WORK/jitter1")" -eq 20 -a "$(spread "$WORK/jitter1")" -ge 150 \
  -a "$(tail -n1 "$WORK/jitter1" | cut -d' ' -f1)" -lt 400 ]
check "each probe draws its delays afresh" [ "$(order "$WORK/jitter1")" != "$(order "$WORK/jitter2")" ]
stop_all
start_devsim --range "$(device 0)-$(device 19)" --jitter 300 --seed 7 || exit 1
answer_times >"$WORK/again"
check "--seed: the same delays again, in the same order" [ "$(order "$WORK/jitter1")" = "$(order "$WORK/again")" ]
stop_all

start_devsim --range "$(device 0)-$(device 1)" --http-port 8080 || exit 1
kill -TERM "$DEVSIM_PID"
wait "$DEVSIM_PID"
check "SIGTERM: exit 0" [ $? -eq 0 ]
PIDS=()

start_devsim --addr "$(device 0)" || exit 1
kill -INT "$DEVSIM_PID"
wait "$DEVSIM_PID"
check "SIGINT: exit 0" [ $? -eq 0 ]
PIDS=()
"$SCAN" >"$WORK/after" 2>/dev/null
check "a stopped simulator answers no more" [ ! -s "$WORK/after" ]

finish
