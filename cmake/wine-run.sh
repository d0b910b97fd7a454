#!/usr/bin/env bash
# ctest's launcher for the cross-built programs: runs one under Wine.
#   cmake/wine-run.sh WINE PROGRAM.exe [args...]
# Only inside tests/lab/wine.sh, which makes the prefix, the display and a
# wineserver of the lab's own: Wine's sockets are made by the wineserver, so
# one started elsewhere would put the tests' traffic on the host's network.
set -euo pipefail

wine=$1
shift
if [ -z "${KTA_WINE_NETNS:-}" ] || [ "$KTA_WINE_NETNS" != "$(readlink /proc/self/ns/net)" ]; then
  echo "wine-run: run the Windows tests through tests/lab/wine.sh inside the lab (make test-windows does)" >&2
  exit 1
fi

# The listing is parsed by CMake, which does not expect the CRs of text-mode stdout.
for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then
    "$wine" "$@" | tr -d '\r'
    exit "${PIPESTATUS[0]}"
  fi
done
exec "$wine" "$@"
