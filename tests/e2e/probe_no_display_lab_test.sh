# Without a display, or asked for a windowing backend there is not, the window
# tool says why in one line and exits with 1, after stopping what it started
# (it probes first, hence the lab).
. "$(dirname "$0")/lib.sh"
require_lab
PROBE=${KTA_PROBE:?the path of kta-probe}
cd "$WORK" || exit 1

env -u DISPLAY -u KTA_WINDOWING timeout 10 "$PROBE" >"$WORK/out" 2>"$WORK/err"
code=$?
check "no DISPLAY: exit code 1" [ "$code" -eq 1 ]
check "no DISPLAY: one line on stderr saying why" \
  [ "$(cat "$WORK/err")" = "kta-probe: cannot open display (DISPLAY is not set)" ]
check "no DISPLAY: nothing on stdout, no leak line" [ ! -s "$WORK/out" ]

DISPLAY=:77.0 timeout 10 "$PROBE" >"$WORK/out" 2>"$WORK/err"
code=$?
check "unreachable display: exit code 1" [ "$code" -eq 1 ]
check "unreachable display: named in the one line" \
  [ "$(cat "$WORK/err")" = "kta-probe: cannot open display :77.0" ]
# A backend name that none has is refused, even with a display to try.
DISPLAY=:77.0 KTA_WINDOWING=bogus timeout 10 "$PROBE" >"$WORK/out" 2>"$WORK/err"
code=$?
check "unknown backend: exit code 1" [ "$code" -eq 1 ]
check "unknown backend: named in the one line, with the backends there are" \
  [ "$(cat "$WORK/err")" = "kta-probe: no windowing backend is named 'bogus' (there are: x11, headless)" ]
finish
