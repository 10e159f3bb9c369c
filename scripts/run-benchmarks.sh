#!/usr/bin/env bash
# Runs every benchmark; each reports its ratio against the baseline it measures in the same run.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
