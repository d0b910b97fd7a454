#!/usr/bin/env bash
# kta-scan's bash completion, called as bash calls it on Tab: the words of
# the line in COMP_WORDS (split at "=" as bash splits them), the word under
# the cursor in COMP_CWORD, and the function that "complete -p" names.
#   bash_completion_test.sh COMPLETION_FILE KTA_SCAN
set -u
completion=$1
scan=$2
failed=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; failed=1; fi
}
helpers=/usr/share/bash-completion/bash_completion
if [ ! -r "$helpers" ]; then
  echo "FAIL: $helpers is missing (Debian: bash-completion)"
  exit 1
fi
# shellcheck disable=SC1090
. "$helpers"
# shellcheck disable=SC1090
. "$completion"
func=$(complete -p kta-scan 2>/dev/null | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
check "the file registers a function for kta-scan" [ -n "$func" ]

# offered WORD...: what Tab offers with the cursor at the end of the last word, one a line, sorted.
offered() {
  local COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE COMP_POINT COMP_TYPE=9 COMP_KEY=9
  local line="" w
  for w in "$@"; do
    case "$w" in =) line+="=" ;; *) [[ $line == *= ]] && line+="$w" || line+="${line:+ }$w" ;; esac
  done
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  "$func" kta-scan "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}
expect() {  # expect NAME "WANTED LINES" WORD...
  local name=$1 want=$2
  shift 2
  local got
  got=$(offered "$@")
  check "$name" [ "$got" = "$(printf '%s' "$want" | sed '/^$/d' | sort)" ]
  [ "$got" = "$(printf '%s' "$want" | sed '/^$/d' | sort)" ] ||
    { echo "  wanted: $(echo $want)"; echo "  got:    $(echo $got)"; }
}

options="--rounds --interface --json --long --csv --oui-file --web --web-timeout --watch --interval --version --help"
expect "kta-scan --<Tab> offers every option" "$(tr ' ' '\n' <<<"$options")" kta-scan --
expect "kta-scan <Tab> offers them too: it takes no other arguments" \
  "$(tr ' ' '\n' <<<"$options")" kta-scan ""
expect "kta-scan --w<Tab>" $'--watch\n--web\n--web-timeout' kta-scan --w
expect "an option again after a number" "--json" kta-scan --rounds 3 --j
missing=$("$scan" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u | grep -vxF -f <(offered kta-scan --))
check "every option kta-scan --help names completes" [ -z "$missing" ]
[ -z "$missing" ] || echo "  not offered: $(echo $missing)"

# The adapters as ip names them ("lab0@lab1" is the adapter lab0), less loopback.
adapters=$(ip -o link show | awk -F': ' '{sub(/@.*/, "", $2); print $2}' | grep -vx lo)
expect "--interface <Tab> offers the system's adapters" "$adapters" kta-scan --interface ""
expect "--interface=<Tab> too" "$adapters" kta-scan --interface = ""
first=$(head -1 <<<"$adapters")
if [ -n "$first" ]; then
  expect "--interface ${first:0:2}<Tab> narrows them" "$(grep "^${first:0:2}" <<<"$adapters")" \
    kta-scan --json --interface "${first:0:2}"
fi

for option in --rounds --web-timeout --interval; do
  expect "$option <Tab> offers nothing: a number" "" kta-scan "$option" ""
  expect "$option=<Tab> neither" "" kta-scan "$option" = ""
done

work=$(mktemp -d /tmp/kta-completion.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/older"
touch "$work/oui.csv" "$work/other.txt" "$work/mam.csv"
cd "$work" || exit 1
expect "--oui-file o<Tab> offers files and folders" $'oui.csv\nolder\nother.txt' kta-scan --oui-file o
expect "--oui-file=o<Tab> too" $'oui.csv\nolder\nother.txt' kta-scan --csv --oui-file = o
expect "--oui-file older/<Tab> looks inside" "" kta-scan --oui-file older/
exit "$failed"
