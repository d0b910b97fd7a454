# Arguments of kta-scan and kta-devsim; nothing here sends a packet.
. "$(dirname "$0")/lib.sh"

expect_rc() {  # expect_rc CODE COMMAND...
  local want=$1
  shift
  "$@" >"$WORK/out" 2>"$WORK/err"
  [ $? -eq "$want" ]
}

version=$(sed -n 's/^project(kta310 VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
check "kta-scan --version" [ "$("$SCAN" --version)" = "kta-scan $version" ]
check "kta-devsim --version" [ "$("$DEVSIM" --version)" = "kta-devsim $version" ]

"$SCAN" --help >"$WORK/help"
check "kta-scan --help: exit 0, every option" \
  bash -c "grep -q -- --rounds '$WORK/help' && grep -q -- --json '$WORK/help' && grep -q -- --version '$WORK/help'"
"$DEVSIM" --help >"$WORK/help"
check "kta-devsim --help: every option" bash -c "for o in --addr --range --delay --reply \
  --jitter --seed --wrong-first --empty --oversize --flood --rate --http --http-port --version; do \
  grep -q -- \"\$o \" '$WORK/help' || exit 1; done"

for bad in "--rounds 0" "--rounds x" "--rounds" "--rounds 1001" "--rounds -1" "--bogus" "extra" \
  "--long --json" "--csv --long" "--oui-file" "--oui-file=" "--web-timeout 2" "--interval 2"; do
  # shellcheck disable=SC2086
  check "kta-scan $bad: exit 2 with a message" expect_rc 2 "$SCAN" $bad
  check "kta-scan $bad: says why on stderr" grep -q 'kta-scan: ' "$WORK/err"
done
for bad in "--addr 10.77.0" "--range 10.0.0.9-10.0.0.1" "--delay soon" "--flood 0" \
  "--http-port 70000" "--empty --oversize" "--jitter 600001" "--jitter -1" "--seed x" "--bogus"; do
  # shellcheck disable=SC2086
  check "kta-devsim $bad: exit 2" expect_rc 2 "$DEVSIM" $bad
done
check "kta-devsim outside the lab without addresses: exit 2" \
  expect_rc 2 env -u KTA_LAB_DEVICE_RANGE "$DEVSIM"

finish
