# kta-scan's output reaches its destination or it says so; the options of
# the page check and the watch, and kta-devsim's new ones, refuse bad values.
. "$(dirname "$0")/lib.sh"
require_lab

start_devsim --range "$(device 0)-$(device 2)" --http || exit 1
cd "$WORK" || exit 1

for args in "" "--json" "--web" "--help" "--version"; do
  # shellcheck disable=SC2086
  "$SCAN" $args >/dev/full 2>"$WORK/full.err"
  rc=$?
  check "kta-scan $args > /dev/full: exit 1 ($rc)" [ "$rc" -eq 1 ]
  check "kta-scan $args > /dev/full: says why" \
    grep -qx 'kta-scan: cannot write output: No space left on device' "$WORK/full.err"
done
"$SCAN" >&- 2>"$WORK/closed.err"
check "kta-scan with standard output closed: exit 1" [ $? -eq 1 ]
check "kta-scan with standard output closed: says so" grep -q '^kta-scan: cannot write output: ' "$WORK/closed.err"
"$SCAN" >"$WORK/ok.out" 2>"$WORK/ok.err"
check "a scan that could write: exit 0, three devices, quiet stderr" \
  test $? -eq 0 -a "$(wc -l <"$WORK/ok.out")" -eq 3 -a ! -s "$WORK/ok.err"

expect_usage() {  # expect_usage PROGRAM ARGS...: exit 2 with a line on stderr naming the program
  local name
  name=$(basename "$1")
  "$@" >"$WORK/usage.out" 2>"$WORK/usage.err"
  [ $? -eq 2 ] && grep -q "^$name: " "$WORK/usage.err" && [ ! -s "$WORK/usage.out" ]
}
for bad in "--web-timeout 0 --web" "--web-timeout 61 --web" "--web-timeout=x --web" "--web --web-timeout" \
  "--web-timeout 5" "--interval 0 --watch" "--interval 3601 --watch" "--watch --interval 1x" \
  "--interval 5" "--watch --rounds 2" "--rounds=2 --watch" "--interface" "--interface="; do
  # shellcheck disable=SC2086
  check "kta-scan $bad: exit 2 with a message" expect_usage "$SCAN" $bad
done
check "kta-scan --web-timeout=60 --web is taken" bash -c "'$SCAN' --web-timeout=60 --web >/dev/null"
check "the smallest and the written-together forms are taken: --rounds=1 --interface=lab0" \
  bash -c "[ \"\$('$SCAN' --rounds=1 --interface=lab0 | wc -l)\" -eq 3 ]"
check "an adapter's name as the last argument is taken: --interface lab0" \
  bash -c "[ \"\$('$SCAN' --interface lab0 | wc -l)\" -eq 3 ]"
for bad in "--http-misbehave" "--http-misbehave loud" "--answer-for soon" "--answer-for 86401"; do
  # shellcheck disable=SC2086
  check "kta-devsim $bad: exit 2" expect_usage "$DEVSIM" $bad
done
"$SCAN" --help >"$WORK/help"
check "kta-scan --help names every option" bash -c "for o in --rounds --interface --json --web \
  --web-timeout --watch --interval --version --help; do grep -q -- \"\$o \" '$WORK/help' || exit 1; done"
stop_all
finish
