#!/usr/bin/env bash
# The Windows Installer package under Wine's msiexec, silently as a
# deployment tool runs it: a fresh install (the files, the Start-menu
# shortcut, the Add/Remove Programs entry, kta-scan.exe runs), a clean
# removal, an upgrade from a package of a lower version, which it replaces,
# a refused downgrade, and a removal by product code, as Add/Remove Programs
# does it.
#   (inside tests/lab/wine.sh, with a prefix of its own) msi_wine_test.sh MSI OLDER_MSI VERSION
# The files each package installs lie beside it in NAME.files (cmake/msi_build.cmake).
set -u
msi=$(realpath "$1")
older=$(realpath "$2")
version=$3
if [ -z "${KTA_WINE_NETNS:-}" ] || [ "$KTA_WINE_NETNS" != "$(readlink /proc/self/ns/net)" ]; then
  echo "msi_wine_test: run inside tests/lab/wine.sh in the lab (make test-windows does)" >&2
  exit 1
fi
# Wine would copy each shortcut into the desktop menus of this machine's user.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
code=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; code=1; fi
}
work=$(mktemp -d /tmp/kta-msi-wine.XXXXXX)
trap 'rm -rf "$work"' EXIT
ms_now() { date +%s%3N; }

property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v p="$2" '$1 == p {print $2}'; }
product=$(property "$msi" ProductCode)
older_product=$(property "$older" ProductCode)
older_version=$(property "$older" ProductVersion)
packages_agree() {
  [ "$(property "$msi" ProductVersion)" = "$version" ] && [ -n "$product" ] &&
    [ "$(property "$msi" UpgradeCode)" = "$(property "$older" UpgradeCode)" ] &&
    [ "$product" != "$older_product" ] && [ "$(property "$msi" ALLUSERS)" = 1 ]
}
check "the package installs $version for all users; the older one is $older_version, of one UpgradeCode" \
  packages_agree
# Installed copies know the product by this code alone: a package with another would sit beside them.
check "its UpgradeCode is the one every release has had" \
  [ "$(property "$msi" UpgradeCode)" = "{93ADDDA8-8B47-4AEF-A2E8-1FE6F9554543}" ]

# msiexec ARGS...: a silent run; its exit code, its log in $work/msiexec.log.
msiexec() {
  local status=0
  wine msiexec "$@" /qn /l*v "$(winepath -w "$work/msiexec.log")" </dev/null >/dev/null 2>&1 ||
    status=$?
  return "$status"
}
log_tail() { tr -d '\r' <"$work/msiexec.log" | grep -E 'Note|Error|Return value 3' | tail -5 | sed 's/^/  /'; }
run() {  # run NAME ARGS...: msiexec ARGS, checked for exit 0
  local name=$1 rc=0 t0
  shift
  t0=$(ms_now)
  msiexec "$@" || rc=$?
  check "$name: exit 0 ($rc, $(($(ms_now) - t0)) ms)" [ "$rc" -eq 0 ] || log_tail
}

dir="$WINEPREFIX/drive_c/Program Files/Corvane/KTA-310 Probe"
# The Add/Remove Programs entries of the product's name: "CODE|VERSION|PUBLISHER|LOCATION" a line.
entries() {
  wine reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
    "$(winepath -w "$work/arp.reg")" /y >/dev/null 2>&1 || : >"$work/arp.reg"
  python3 - "$work/arp.reg" <<'PY'
import re, sys
raw = open(sys.argv[1], "rb").read()
text = raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")
for part in re.split(r"\r?\n(?=\[)", text):
    key = re.match(r"\[HKEY_LOCAL_MACHINE\\[^\]]*\\Uninstall\\([^\]]+)\]", part)
    values = dict(re.findall(r'^"([^"]+)"="((?:[^"\\]|\\.)*)"', part, re.M))
    if key and values.get("DisplayName") == "Corvane KTA-310 Probe":
        print("|".join([key.group(1), values.get("DisplayVersion", ""), values.get("Publisher", ""),
                        values.get("InstallLocation", "").replace("\\\\", "\\")]))
PY
}
only_entry() {  # only_entry CODE VERSION: the one entry is CODE's, of VERSION, by Corvane
  entries >"$work/entries"
  [ "$(wc -l <"$work/entries")" -eq 1 ] && grep -q "^$1|$2|Corvane|" "$work/entries" ||
    { echo "  entries: $(tr '\n' ' ' <"$work/entries")"; return 1; }
}
# Exactly the files the package carries, byte for byte.
installed_as() {  # installed_as FILES_DIR
  local want have f
  want=$(cd "$1" && ls | grep -vx kta-probe.ico | sort)
  have=$(cd "$dir" 2>/dev/null && ls | sort)
  [ "$want" = "$have" ] || { echo "  wanted: $(echo $want)"; echo "  found:  $(echo $have)"; return 1; }
  for f in $want; do cmp -s "$1/$f" "$dir/$f" || { echo "  $f differs"; return 1; }; done
}
# A shell link holds its target and icon paths as text, ANSI or UTF-16.
names() {  # names FILE TEXT
  [ -f "$1" ] && { strings -a "$1"; strings -a -el "$1"; } | grep -qF "$2"
}

run "msiexec /i $(basename "$msi") /qn" /i "$(winepath -w "$msi")"
check "it installs exactly the package's files in Program Files\\Corvane\\KTA-310 Probe" \
  installed_as "${msi%.msi}.files"
if [ -f /usr/share/ieee-data/oui.csv ]; then
  check "... the registry files of ieee-data among them" \
    bash -c "cmp -s /usr/share/ieee-data/oui.csv '$dir/oui.csv' && [ -f '$dir/mam.csv' ] && [ -f '$dir/oui36.csv' ]"
fi
scan_version=$(wine "$dir/kta-scan.exe" --version 2>/dev/null | tr -d '\r')
check "the installed kta-scan.exe runs: '$scan_version'" [ "$scan_version" = "kta-scan $version" ]

# For all users the Start menu is the common one. Wine's msiexec resolves
# ProgramMenuFolder to the user's own whatever ALLUSERS says: the shortcut is
# looked for where the log says msiexec put it.
common="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
menu=$(tr -d '\r' <"$work/msiexec.log" | sed -n 's/^Property(S): ProgramMenuFolder = \(.*\)$/\1/p' | tail -1)
menu=$(winepath -u "$menu" 2>/dev/null)
menu=${menu%/}
if [ "$(realpath -m "$menu")" != "$(realpath -m "$common")" ]; then
  echo "known Wine difference: the per-machine package's Start-menu shortcut goes to the user's Start menu ($menu)"
fi
shortcut="$menu/Corvane KTA-310 Probe.lnk"
check "a Start-menu shortcut to kta-probe.exe" names "$shortcut" 'KTA-310 Probe\kta-probe.exe'
check "... with the package's icon" names "$shortcut" "$product\\kta_probe.ico"
check "one Add/Remove Programs entry, of $version by Corvane" only_entry "$product" "$version"
check "... which says where it is installed" grep -qF '|C:\Program Files\Corvane\KTA-310 Probe\' "$work/entries"
# Add/Remove Programs takes a package's icon from its registration for all users.
packed=$(python3 -c 'import sys; h = sys.argv[1].strip("{}").replace("-", "")
print(h[7::-1] + h[11:7:-1] + h[15:11:-1] + "".join(h[i + 1] + h[i] for i in range(16, 32, 2)))' "$product")
icon=$(wine reg query "HKLM\\Software\\Classes\\Installer\\Products\\$packed" /v ProductIcon 2>/dev/null |
  tr -d '\r' | sed -n 's/.*REG_SZ *//p')
check "... with the product's icon ($icon)" \
  bash -c "[ -n '$icon' ] && cmp -s '$(dirname "$msi")/$(basename "${msi%.msi}").files/kta-probe.ico' \"\$(winepath -u '$icon')\""

removed() {
  [ ! -e "$WINEPREFIX/drive_c/Program Files/Corvane" ] && [ ! -e "$shortcut" ] && [ -z "$(entries)" ]
}
run "msiexec /x $(basename "$msi") /qn" /x "$(winepath -w "$msi")"
check "... removes every file, the folders, the shortcut and the entry" removed

run "msiexec /i the $older_version package" /i "$(winepath -w "$older")"
check "... its entry says $older_version" only_entry "$older_product" "$older_version"
run "msiexec /i $version over it" /i "$(winepath -w "$msi")"
check "... replaces it: one entry, of $version" only_entry "$product" "$version"
check "... with the files of $version" installed_as "${msi%.msi}.files"
check "... and the shortcut" names "$shortcut" 'KTA-310 Probe\kta-probe.exe'
rc=0
msiexec /i "$(winepath -w "$older")" || rc=$?
check "the $older_version package over $version is refused ($rc)" [ "$rc" -ne 0 ]
check "... and $version stays" only_entry "$product" "$version"
run "msiexec /x $product /qn, as Add/Remove Programs removes it" /x "$product"
check "... removes every file, the folders, the shortcut and the entry" removed
exit "$code"
