#!/usr/bin/env bash
# Runs the whole suite from a build folder: offscreen on SQLite and on PostgreSQL, and the
# tests that concern windows again on a real X desktop.
#
#   scripts/run-tests.sh [BUILD] [ctest options...]
#
# Every test that works on a company database runs twice (NAME on SQLite, NAME_pg on
# PostgreSQL). For the PostgreSQL half a throwaway cluster is started on a free loopback port
# (scripts/pg-cluster.sh) and deleted at the end; when it does not come up the run fails.
# With TESR_TEST_PG_URL already set, that server is used instead (each test creates and drops
# a database of its own there). The desktop tier (NAME_x11, label "desktop") runs on a
# throwaway Xvfb display with the openbox window manager (scripts/x-desktop.sh), never the
# user's own; when either does not come up the run fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
[ $# -gt 0 ] && shift
export QT_QPA_PLATFORM=offscreen

pgdir=
xdir=
cleanup() {
  [ -n "$pgdir" ] && "$here/pg-cluster.sh" stop "$pgdir"
  [ -n "$xdir" ] && "$here/x-desktop.sh" stop "$xdir"
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${TESR_TEST_PG_URL:-}" ]; then
  pgdir=$(mktemp -d "${TMPDIR:-/tmp}/tesr-pg.XXXXXX")
  if ! TESR_TEST_PG_URL=$("$here/pg-cluster.sh" start "$pgdir"); then
    echo "FAILED: the PostgreSQL test cluster did not come up (see above), so the PostgreSQL half of the" \
         "suite cannot run." >&2
    exit 1
  fi
  export TESR_TEST_PG_URL
fi
echo "PostgreSQL for the tests: $TESR_TEST_PG_URL"

xdir=$(mktemp -d "${TMPDIR:-/tmp}/tesr-x.XXXXXX")
if ! DISPLAY=$("$here/x-desktop.sh" start "$xdir"); then
  echo "FAILED: the X desktop for the window tests (Xvfb and openbox) did not come up (see above)." >&2
  exit 1
fi
export DISPLAY
echo "X desktop for the window tests: $DISPLAY"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 "$@" || status=$?
# The load test's saves per second and the crash test's kills, per engine (their output is not
# shown when they pass).
grep -h "^THROUGHPUT \|^CRASH " "$build/Testing/Temporary/LastTest.log" 2>/dev/null |
  sed 's/^THROUGHPUT /Load test: /; s/^CRASH /Crash test: /' || true
exit $status
