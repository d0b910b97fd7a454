# Devices that answer wrongly are never listed; slow and noisy ones are, once.
. "$(dirname "$0")/lib.sh"
require_lab

start_devsim --range "$(device 0)-$(device 2)" || exit 1
start_devsim --addr "$(device 3)" --wrong-first || exit 1
start_devsim --addr "$(device 4)" --empty || exit 1
start_devsim --addr "$(device 5)" --oversize || exit 1
start_devsim --addr "$(device 6)" --flood 5 || exit 1
start_devsim --addr "$(device 7)" --reply '?KTA-310 v2' || exit 1
start_devsim --addr "$(device 8)" --reply 'KTA?' || exit 1
printf '%s\n' "$(device 0)" "$(device 1)" "$(device 2)" "$(device 6)" "$(device 7)" \
  | numeric_sort >"$WORK/expected"

# Each probe draws 14 answers: three rounds leave none of them unread.
"$SCAN" --rounds 3 >"$WORK/out"
check "misbehaving devices: exit 0" [ $? -eq 0 ]
check "only well-formed answers are listed, each once" cmp -s "$WORK/out" "$WORK/expected"
stop_all

start_devsim --range "$(device 0)-$(device 2)" --delay 400 || exit 1
"$SCAN" >"$WORK/slow.out"
check "answers 0.4 s late still land in the window" [ "$(wc -l <"$WORK/slow.out")" -eq 3 ]
stop_all

start_devsim --addr "$(device 0)" --delay 1500 || exit 1
"$SCAN" >"$WORK/late.out" 2>/dev/null
check "answers after the window are not listed" [ ! -s "$WORK/late.out" ]
stop_all

finish
