#!/usr/bin/env bash
# Checks the Debian packages that make deb built: each holds exactly its
# files, with computed dependencies, a clean lintian, desktop entry and
# AppStream metadata, manual pages that render, and kta-scan's completion.
#   tests/package/deb_check.sh DIR VERSION
set -u
dir=$1
version=$2
failed=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; failed=1; fi
}
work=$(mktemp -d /tmp/kta-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
main="$dir/kta310_${version}_amd64.deb"
sim="$dir/kta310-devsim_${version}_amd64.deb"

files_of() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sort; }
cat >"$work/main.expected" <<LIST
./usr/bin/kta-probe
./usr/bin/kta-scan
./usr/share/applications/kta-probe.desktop
./usr/share/bash-completion/completions/kta-scan
./usr/share/doc/kta310/changelog.gz
./usr/share/doc/kta310/copyright
./usr/share/man/man1/kta-probe.1.gz
./usr/share/man/man1/kta-scan.1.gz
./usr/share/metainfo/example.corvane.kta310.metainfo.xml
./usr/share/pixmaps/kta-probe.xpm
LIST
cat >"$work/sim.expected" <<LIST
./usr/bin/kta-devsim
./usr/share/doc/kta310-devsim/changelog.gz
./usr/share/doc/kta310-devsim/copyright
./usr/share/man/man1/kta-devsim.1.gz
LIST
for pkg in main sim; do
  deb=$main
  [ "$pkg" = sim ] && deb=$sim
  echo "$(basename "$deb"):"
  dpkg-deb -c "$deb" | awk '{print "  " $1, $2, $6}'
  files_of "$deb" >"$work/$pkg.files"
  check "$(basename "$deb") holds exactly its files" cmp -s "$work/$pkg.files" "$work/$pkg.expected"
  diff "$work/$pkg.expected" "$work/$pkg.files" | sed 's/^/  /'
  check "$(basename "$deb"): owned by root, programs executable" bash -c \
    "dpkg-deb -c '$deb' | awk '\$2 != \"root/root\" {exit 1} \$6 ~ /bin\\/./ && \$1 != \"-rwxr-xr-x\" {exit 1}'"
  check "$(basename "$deb"): its programs are stripped" bash -c \
    "! dpkg-deb --fsys-tarfile '$deb' | tar -x -C '$work' --wildcards './usr/bin/*' -O | grep -q .debug_info"
done
check "kta310 depends on the libraries its programs link, X11 among them" bash -c \
  "dpkg-deb -f '$main' Depends | grep -q 'libc6' && dpkg-deb -f '$main' Depends | grep -q 'libx11-6'"
check "kta310 recommends xdg-utils, which opens a device's page" bash -c \
  "dpkg-deb -f '$main' Recommends | grep -qw xdg-utils"
check "kta310 recommends ieee-data, which names the makers of hardware addresses" bash -c \
  "dpkg-deb -f '$main' Recommends | grep -qw ieee-data"
check "kta310-devsim needs no X11" bash -c \
  "dpkg-deb -f '$sim' Depends | grep -q libc6 && ! dpkg-deb -f '$sim' Depends | grep -q libx11"
check "a maintainer, and a synopsis with a description" bash -c \
  "dpkg-deb -f '$main' Maintainer | grep -q '@' && [ \$(dpkg-deb -f '$main' Description | wc -l) -ge 3 ]"

dpkg-deb -x "$main" "$work/root"
dpkg-deb -x "$sim" "$work/root"
check "the copyright file carries the MIT licence of LICENSE" bash -c \
  "diff <(sed -n '5,\$p' '$(dirname "$0")/../../LICENSE') \
        <(sed -n '/^ Permission/,\$p' '$work/root/usr/share/doc/kta310/copyright' | sed 's/^ //; s/^\\.\$//')"
check "the packaged desktop entry passes desktop-file-validate" \
  bash -c "[ -z \"\$(desktop-file-validate '$work/root/usr/share/applications/kta-probe.desktop' 2>&1)\" ]"
# The tree as installed: the metadata and the desktop entry it launches, together.
check "appstreamcli validate-tree --no-net passes on the package's files" \
  bash -c "appstreamcli validate-tree --no-net '$work/root' >'$work/appstream' 2>&1 || { sed 's/^/  /' '$work/appstream'; false; }"
check "the packaged completion, loaded as bash-completion loads it, completes kta-scan" bash -c \
  ". /usr/share/bash-completion/bash_completion && . '$work/root/usr/share/bash-completion/completions/kta-scan' && \
   complete -p kta-scan | grep -q -- '-F _kta_scan'"
for page in kta-probe kta-scan kta-devsim; do
  check "$page(1) from the package renders without a warning" bash -c \
    "[ -z \"\$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '$work/root/usr/share/man/man1/$page.1.gz' 2>&1 >/dev/null)\" ]"
done
check "kta-scan from the package runs" bash -c "'$work/root/usr/bin/kta-scan' --version | grep -qx 'kta-scan $version'"

echo "lintian:"
lintian --fail-on error --display-info "$main" "$sim" 2>&1 | grep -v 'running with root privileges' | sed 's/^/  /'
check "lintian finds no error" test "${PIPESTATUS[0]}" -eq 0
exit "$failed"
