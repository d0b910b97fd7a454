#!/usr/bin/env bash
# Runs a command that can start no thread and no process: as an unprivileged
# user whose RLIMIT_NPROC is the number of tasks that user already runs, the
# command itself included. A program that needs a thread meets the refusal a
# process at its thread limit meets, and must say so and end.
#
#   tests/testing/thread_limit.sh [--uid N] [--] command [args...]
#
# As root (the user is changed with setpriv, the limit set with prlimit). The
# user is a numeric one of its own (by default from this shell's process id),
# so that no other program shares its count; the command and its folders must
# be readable by everyone, and it writes files only where anyone may. The
# command is run directly, not through a shell, which would need a process.
# Inside, KTA_THREAD_LIMITED=1 is set, and leak checking is off under
# AddressSanitizer: LeakSanitizer needs a thread of its own at exit.
set -euo pipefail

uid=""
while [ $# -gt 0 ]; do
  case "$1" in
    --uid) uid="$2"; shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "thread_limit: no command given (see --help)" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "thread_limit: must run as root to change the user" >&2; exit 2; }
uid=${uid:-$((3000000 + $$ % 1000000))}
case "$uid" in ''|*[!0-9]*|0) echo "thread_limit: --uid needs an unprivileged user number" >&2; exit 2 ;; esac

# The kernel counts every thread of every process whose real user is uid.
tasks=0
for status in /proc/[0-9]*/status; do
  real="" threads=0
  while read -r key value _; do
    case "$key" in
      Uid:) real=$value ;;
      Threads:) threads=$value ;;
    esac
  done <"$status" 2>/dev/null || continue
  [ "$real" = "$uid" ] && tasks=$((tasks + threads))
done

export KTA_THREAD_LIMITED=1
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
exec setpriv --reuid="$uid" --regid="$uid" --clear-groups -- \
  prlimit --nproc=$((tasks + 1)) -- "$@"
