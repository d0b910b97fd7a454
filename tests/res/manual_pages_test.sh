# The manual pages render without a warning, and each names exactly the
# options that its program's --help names, so the two cannot drift apart.
#   manual_pages_test.sh RES_DIR KTA_SCAN KTA_DEVSIM
set -u
res=$1
failed=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; failed=1; fi
}
options_of() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }
page_text() { groff -man -Tascii -P-c -P-b -P-u "$1" 2>/dev/null; }

for page in kta-probe kta-scan kta-devsim; do
  src="$res/$page.1"
  check "$page(1): groff -ww finds nothing to warn of" \
    bash -c "[ -z \"\$(groff -ww -z -man '$src' 2>&1)\" ]"
  check "$page(1): man -l renders it without a warning" \
    bash -c "[ -z \"\$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '$src' 2>&1 >/dev/null)\" ]"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES; do
    check "$page(1): has $section" bash -c "page_text() { $(declare -f page_text | tail -n +2); }; \
      page_text '$src' | grep -qx '$section'"
  done
done

for program in "$2" "$3"; do
  name=$(basename "$program")
  diff <("$program" --help | options_of) <(page_text "$res/$name.1" | options_of) >"/tmp/kta-man.$$"
  check "$name(1) names the options --help names, and no others" [ ! -s "/tmp/kta-man.$$" ]
  sed 's/^/  /' "/tmp/kta-man.$$"
  rm -f "/tmp/kta-man.$$"
done
check "kta-probe(1) names no option: the window tool takes none" \
  bash -c "[ -z \"\$(groff -man -Tascii -P-c -P-b -P-u '$res/kta-probe.1' | grep -oE -- '--[a-z]')\" ]"
exit "$failed"
