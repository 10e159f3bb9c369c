#!/usr/bin/env bash
# Runs every benchmark; each reports its ratio against the baseline it measures in the same run,
# and the ratios with their targets are listed again at the end.
#
#   scripts/run-benchmarks.sh [BUILD] [benchmark options...]
#
# The machine is shared: when `uptime` shows it busy, run again and compare the ratios.
set -euo pipefail
build=${1:-build}
[ $# -gt 0 ] && shift
export QT_QPA_PLATFORM=offscreen
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "Load before the run: $(uptime)"
for b in "$build"/bench/bench_*; do
  # Only the programs: the build also leaves folders (bench_*_autogen) beside them.
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true "$@" | tee -a "$log" || { status=1; echo "FAILED: $(basename "$b")"; }
done
echo "Load after the run: $(uptime)"
echo
echo "== Ratios and their targets"
# A result line is its name, numbers and units, then the label; the labels that name a target.
awk '/^BM_/ && /\(target / {
  name = $1; label = ""
  for (i = 2; i <= NF; i++) {
    if (label == "" && ($i ~ /^-?[0-9.]+[kMGmunµ]?$/ || $i ~ /^(ns|us|ms|s)$/)) continue
    label = label (label == "" ? "" : " ") $i
  }
  printf "%-44s %s\n", name, label
}' "$log"
exit $status
