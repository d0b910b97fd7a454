# shellcheck shell=sh
# A private X server for scripts that show windows, sourced (POSIX sh):
#   xvfb_start DIR [SCREEN]    SCREEN defaults to 640x480x24
# On success XVFB_PID is the server and DISPLAY is exported; the caller stops
# the server. On failure the reason and the server's log go to stderr, the
# server is gone, and the return code is 1.
xvfb_start() {
  _xvfb_dir=$1
  # Xvfb picks a free display and writes its number once it accepts clients;
  # it must not reset when its last client leaves, or it refuses the next one.
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${2:-640x480x24}" \
    3>"$_xvfb_dir/xvfb.display" >"$_xvfb_dir/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    # -s: the background shell may not have made the file yet.
    grep -qs '^[0-9][0-9]*$' "$_xvfb_dir/xvfb.display" && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -qs '^[0-9][0-9]*$' "$_xvfb_dir/xvfb.display"; then
    echo "Xvfb did not start: $(cat "$_xvfb_dir/xvfb.log")" >&2
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    return 1
  fi
  DISPLAY=:$(head -n1 "$_xvfb_dir/xvfb.display")
  export DISPLAY
}
