# kta-devsim's web pages and its clean stop.
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
