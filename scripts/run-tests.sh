#!/usr/bin/env bash
# Runs the whole suite offscreen from a build folder, on SQLite and on PostgreSQL.
#
#   scripts/run-tests.sh [BUILD] [ctest options...]
#
# Every test that works on a company database runs twice (NAME on SQLite, NAME_pg on
# PostgreSQL). For the PostgreSQL half a throwaway cluster is started on a free loopback port
# (scripts/pg-cluster.sh) and deleted at the end; when it does not come up the run fails.
# With TESR_TEST_PG_URL already set, that server is used instead (each test creates and drops
# a database of its own there).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
[ $# -gt 0 ] && shift
export QT_QPA_PLATFORM=offscreen

if [ -z "${TESR_TEST_PG_URL:-}" ]; then
  pgdir=$(mktemp -d "${TMPDIR:-/tmp}/tesr-pg.XXXXXX")
  trap '"$here/pg-cluster.sh" stop "$pgdir"' EXIT
  trap 'exit 130' INT TERM
  if ! TESR_TEST_PG_URL=$("$here/pg-cluster.sh" start "$pgdir"); then
    echo "FAILED: the PostgreSQL test cluster did not come up (see above), so the PostgreSQL half of the" \
         "suite cannot run." >&2
    exit 1
  fi
  export TESR_TEST_PG_URL
fi
echo "PostgreSQL for the tests: $TESR_TEST_PG_URL"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600 "$@" || status=$?
# The load test's saves per second and the crash test's kills, per engine (their output is not
# shown when they pass).
grep -h "^THROUGHPUT \|^CRASH " "$build/Testing/Temporary/LastTest.log" 2>/dev/null |
  sed 's/^THROUGHPUT /Load test: /; s/^CRASH /Crash test: /' || true
exit $status
