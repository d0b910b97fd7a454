#!/usr/bin/env bash
# Runs ctest over a sanitizer build, inside the lab, with every report written
# to a file: a finding in a program that an end-to-end script started in the
# background fails the run as well, even when its exit status is never read.
#
#   tests/sanitizers/check.sh BUILD_DIR [ctest args...]
set -uo pipefail

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [ctest args...]" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
shift

logs="$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"

# Reports go to $logs/<tool>.<pid>. A report ends the process with a failure.
export ASAN_OPTIONS="log_path=$logs/asan:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:abort_on_error=0"
export UBSAN_OPTIONS="log_path=$logs/ubsan:print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="log_path=$logs/tsan:halt_on_error=1:second_deadlock_stack=1"

ctest --test-dir "$build" --output-on-failure "$@"
rc=$?

reports=$(find "$logs" -type f | sort)
if [ -n "$reports" ]; then
  for f in $reports; do
    echo "==== $f"
    cat "$f"
  done
  echo "sanitizers: $(echo "$reports" | wc -l) report(s) in $logs" >&2
  [ $rc -ne 0 ] || rc=1
fi
exit $rc
