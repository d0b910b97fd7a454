# kta-scan in a process at its thread limit (tests/testing/thread_limit.sh):
# each way in that needs a thread ends at once with exit 1 and one line that
# says so, instead of hanging in the channel's close or the manager's stop.
. "$(dirname "$0")/lib.sh"
require_lab
LIMIT="$(dirname "$0")/../testing/thread_limit.sh"

# thread_limited NAME ARGS...: exit 1 within 5 s, and the one line.
thread_limited() {
  local name=$1 start code ms
  shift
  start=$(date +%s%N)
  timeout 20 bash "$LIMIT" -- "$SCAN" "$@" >"$WORK/out" 2>"$WORK/err"
  code=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  check "$name: exit 1 (got $code) within 5 s (took $ms ms)" [ "$code" -eq 1 -a "$ms" -lt 5000 ]
  check "$name: one line, 'kta-scan: cannot start a thread: ...' ($(head -c 200 "$WORK/err"))" \
    bash -c "[ \$(wc -l <'$WORK/err') -eq 1 ] && grep -q '^kta-scan: cannot start a thread: .' '$WORK/err'"
  check "$name: nothing on stdout" [ ! -s "$WORK/out" ]
}

thread_limited "a scan"
thread_limited "a scan with --web" --web
thread_limited "a watch" --watch --interval 1

# The port is free again, and a scan outside the limit works as ever.
start_devsim --range "$(device 0)-$(device 2)" || exit 1
"$SCAN" >"$WORK/free"
check "afterwards a scan lists the devices" [ "$(wc -l <"$WORK/free")" -eq 3 ]
stop_all
finish
