# The checks of the test scripts, one style for all of them.
# Usage: source tools/lib/check.sh
#
#   check DESCRIPTION CONDITION...  prints "ok: DESCRIPTION" or "FAIL: ..."
#                                   and counts it; the script goes on either
#                                   way (check returns 0). One CONDITION
#                                   argument is shell text (evaluated, so it
#                                   may hold && and ||); several are a
#                                   command and its arguments, run as they
#                                   are. The condition sees the caller's
#                                   variables (check's own are _check_*).
#   require DESCRIPTION CONDITION...  the same, but a failure ends the script
#                                   (what follows depends on it)
#   die MESSAGE                     counts a failure and ends the script
#   run_part COMMAND...             runs another test script whose checks
#                                   count among this one's; returns its
#                                   status
#   check_summary                   prints "N passed, N failed" alone on a
#                                   line (CI reads it) and returns non-zero
#                                   when any check failed
#
# A script run through run_part reports its checks to its caller (through the
# file named by SLOTS_CHECK_TALLY) and prints no summary of its own, so a run
# ends with exactly one summary line, over every check made.

_check_passed=0
_check_failed=0

_check_count() { # ok|FAIL DESCRIPTION
  if [ "$1" = ok ]; then
    echo "ok: $2"
    _check_passed=$((_check_passed + 1))
  else
    echo "FAIL: $2" >&2
    _check_failed=$((_check_failed + 1))
  fi
  [ -z "${SLOTS_CHECK_TALLY:-}" ] || echo "$1" >>"$SLOTS_CHECK_TALLY"
}

_check_rc=0

check() { # DESCRIPTION CONDITION...
  local _check_what=$1
  shift
  _check_rc=0
  if [ $# -eq 1 ]; then
    eval "$1" || _check_rc=$?
  else
    "$@" || _check_rc=$?
  fi
  if [ "$_check_rc" -eq 0 ]; then _check_count ok "$_check_what"; else _check_count FAIL "$_check_what"; fi
}

require() { # DESCRIPTION CONDITION...
  check "$@"
  [ "$_check_rc" -eq 0 ] || { check_summary; exit 1; }
}

die() { # MESSAGE
  _check_count FAIL "$*"
  check_summary
  exit 1
}

run_part() { # COMMAND...
  local _part_rc=0 _part_own="" _part_tally _part_ok _part_fail
  if [ -z "${SLOTS_CHECK_TALLY:-}" ]; then
    _part_own=$(mktemp "${TMPDIR:-/tmp}/slots-checks.XXXXXX")
  fi
  _part_tally=${SLOTS_CHECK_TALLY:-$_part_own}
  _part_ok=$(grep -c '^ok$' "$_part_tally" || true)
  _part_fail=$(grep -c '^FAIL$' "$_part_tally" || true)
  SLOTS_CHECK_TALLY=$_part_tally "$@" || _part_rc=$?
  _part_ok=$(($(grep -c '^ok$' "$_part_tally" || true) - _part_ok))
  _part_fail=$(($(grep -c '^FAIL$' "$_part_tally" || true) - _part_fail))
  [ -z "$_part_own" ] || rm -f "$_part_own"
  _check_passed=$((_check_passed + _part_ok))
  _check_failed=$((_check_failed + _part_fail))
  if [ "$_part_rc" -ne 0 ] && [ "$_part_fail" -eq 0 ]; then
    _check_count FAIL "$* ended with status $_part_rc before its checks were done"
  fi
  return "$_part_rc"
}

check_summary() {
  [ -n "${SLOTS_CHECK_TALLY:-}" ] || echo "$_check_passed passed, $_check_failed failed"
  [ "$_check_failed" -eq 0 ]
}
