#!/usr/bin/env bash
# The AppStream metadata that CMake made: appstreamcli finds nothing wrong
# with it offline, it launches the project's desktop entry, and its release
# is the project's version on the day that the Debian changelog's top entry
# gives, so that a release cannot bump one and forget the other.
#   metainfo_test.sh METAINFO RES_DIR VERSION RELEASE_DATE
set -u
metainfo=$1
res=$2
version=$3
date=$4
failed=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; failed=1; fi
}
check "appstreamcli validate --no-net passes" appstreamcli validate --no-net "$metainfo"
field() { python3 -c '
import sys, xml.etree.ElementTree as et
print(et.parse(sys.argv[1]).getroot().find(sys.argv[2]).get(sys.argv[3]) or "")' "$metainfo" "$@"; }
check "its release is $version of $date" \
  [ "$(field releases/release version) $(field releases/release date)" = "$version $date" ]
desktop=$(python3 -c '
import sys, xml.etree.ElementTree as et
print(et.parse(sys.argv[1]).getroot().findtext("launchable"))' "$metainfo")
check "it launches res/$desktop, which desktop-file-validate passes" \
  bash -c "[ -f '$res/$desktop' ] && [ -z \"\$(desktop-file-validate '$res/$desktop' 2>&1)\" ]"
changelog_version=$(dpkg-parsechangelog -l "$res/deb/changelog" -S Version)
changelog_date=$(date -u -d "$(dpkg-parsechangelog -l "$res/deb/changelog" -S Date)" +%F)
check "the Debian changelog's top entry is $version of $date ($changelog_version of $changelog_date)" \
  [ "$changelog_version $changelog_date" = "$version $date" ]
exit "$failed"
