#!/usr/bin/env bash
# Runs a command with Wine ready for the cross-built programs, inside the lab:
#
#   tests/lab/lab.sh [--devices N] -- tests/lab/wine.sh --prefix DIR [--] command [args...]
#
#   - a wineserver directory private to this namespace: the wineserver makes
#     Wine's sockets, so a server started outside the lab must never serve us;
#   - the prefix DIR, made quietly on first use (no Mono or Gecko prompts);
#   - an Xvfb display of its own, for the window tests, and in it one Wine
#     desktop window that holds every window of the programs;
#   - one persistent wineserver while the command runs, so that each program
#     starts in a tenth of a second; it and Xvfb are stopped at the end.
#
# Inside, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, DISPLAY and KTA_WINE_NETNS
# (which cmake/wine-run.sh checks) are set. The command's exit code is ours.
set -euo pipefail

prefix=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
if [ -z "$prefix" ] || [ $# -eq 0 ]; then
  echo "wine: usage: wine.sh --prefix DIR [--] command" >&2
  exit 2
fi

own_netns=$(readlink /proc/self/ns/net)
if [ "${KTA_LAB:-}" != 1 ] || [ "${KTA_LAB_NETNS:-}" != "$own_netns" ]; then
  echo "wine: run inside the lab: tests/lab/lab.sh -- $0 ..." >&2
  exit 1
fi

wine=$(command -v wine || true)
wineserver=$(command -v wineserver || true)
if [ -z "$wine" ] || [ -z "$wineserver" ] || ! command -v Xvfb >/dev/null; then
  echo "wine: needs wine, wineserver and Xvfb (Debian: wine wine64 xvfb)" >&2
  exit 1
fi

# The lab has its own mount namespace: this tmpfs hides every outside wineserver.
server_dir=/tmp/.wine-$(id -u)
mkdir -p "$server_dir"
mount -t tmpfs -o mode=0700,size=16m kta-wine "$server_dir"

mkdir -p "$(dirname "$prefix")"
WINEPREFIX=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

. "$(dirname "$0")/xvfb.sh"
XVFB_PID=""
xvfb_dir=$(mktemp -d /tmp/kta-wine-xvfb.XXXXXX)
# shellcheck disable=SC2317  # called by the trap
stop() {
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  [ -z "$XVFB_PID" ] || { kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; } || true
  rm -rf "$xvfb_dir"
}
trap stop EXIT
trap 'exit 130' INT TERM

xvfb_start "$xvfb_dir" 1280x1024x24 || exit 1

# A prefix is ready once its first boot has been written out by the server.
if [ ! -f "$WINEPREFIX/.kta-ready" ]; then
  echo "wine: making the prefix $WINEPREFIX" >&2
  "$wine" wineboot --init >/dev/null 2>&1 || { echo "wine: wineboot failed" >&2; exit 1; }
  # Xvfb has no window manager, which Wine waits for (2 s per destroyed window);
  # on a desktop of its own Wine manages the windows itself, as Windows does.
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
  "$wineserver" -w
  touch "$WINEPREFIX/.kta-ready"
fi
"$wineserver" -p
# Start the prefix's services and desktop now, on /dev/null: started by a test,
# they would inherit its output pipe and keep ctest waiting for the end of it.
"$wine" wineboot </dev/null >/dev/null 2>&1 || { echo "wine: the prefix does not start" >&2; exit 1; }

export KTA_WINE_NETNS=$own_netns
status=0
"$@" || status=$?
exit "$status"
