#!/usr/bin/env bash
# Fails when a program asks for a library of the X11 client side.
#   no_window_libs.sh PROGRAM...
set -u
rc=0
for program in "$@"; do
  needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  if [ -z "$needed" ]; then
    echo "FAIL: $program: readelf found no needed libraries at all"
    rc=1
  elif bad=$(echo "$needed" | grep -E '^lib(X11|Xft|Xrender|Xext|xcb|fontconfig|freetype)[.-]'); then
    echo "FAIL: $program needs the window system: $(echo $bad)"
    rc=1
  else
    echo "ok: $program needs only $(echo $needed)"
  fi
done
exit $rc
