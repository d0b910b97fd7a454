#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a given time each. The seeds in
# tests/fuzz/corpus/<target>/ are read, never written; what the run finds
# goes to BUILD/fuzz-corpus/<target>/, crash inputs to BUILD/fuzz-crashes/.
#
#   tests/fuzz/run.sh BUILD_DIR SECONDS
set -uo pipefail

[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR SECONDS" >&2; exit 2; }
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)

targets=$(cd "$here" && ls *_fuzz.cpp | sed 's/\.cpp$//')
failed=""
for t in $targets; do
  bin="$build/tests/fuzz/$t"
  [ -x "$bin" ] || { echo "fuzz: $bin is missing (make fuzz-build)" >&2; exit 1; }
  work="$build/fuzz-corpus/$t"
  crashes="$build/fuzz-crashes"
  mkdir -p "$work" "$crashes"
  seeds=()
  [ -d "$here/corpus/$t" ] && seeds+=("$here/corpus/$t")
  echo "fuzz: $t for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
       -artifact_prefix="$crashes/$t-" -print_final_stats=1 "$work" "${seeds[@]}" \
       >"$build/fuzz-$t.log" 2>&1; then
    tail -n 40 "$build/fuzz-$t.log"
    failed="$failed $t"
  else
    grep -E '^Done' "$build/fuzz-$t.log"
  fi
done
if [ -n "$failed" ]; then
  echo "fuzz: failed:$failed (inputs in $build/fuzz-crashes/)" >&2
  exit 1
fi
