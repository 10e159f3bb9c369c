#!/usr/bin/env bash
# Builds the libFuzzer programs (fuzz/*/main.cpp) with clang in a folder of their own and runs
# each for a set time, from its seed inputs (fuzz/NAME/corpus) and what earlier runs found.
#
#   scripts/fuzz.sh [SECONDS] [NAME...]      FUZZ_BUILD=build-fuzz by default
#
# Each program prints one line: its executions, the inputs it keeps and whether it found
# anything. A crash or broken property stops the run with the input saved under
# FUZZ_BUILD/artifacts/NAME/; replay it with FUZZ_BUILD/fuzz/fuzz_NAME FILE, and make it a
# test of the normal suite once it is fixed. Exits non-zero when any program found something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-60}
[ $# -gt 0 ] && shift
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for dir in "$root"/fuzz/*/; do [ -f "$dir/main.cpp" ] && names+=("$(basename "$dir")"); done
fi

if ! command -v clang++ >/dev/null; then
  echo "FAILED: fuzzing needs clang (scripts/install-deps.sh fuzz installs it)." >&2
  exit 1
fi
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESR_FUZZ=ON \
    -DTESR_BENCHMARKS=OFF >/dev/null
fi
targets=()
for name in "${names[@]}"; do targets+=("fuzz_$name"); done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" | grep -v '^\[' || true
for name in "${names[@]}"; do
  [ -x "$build/fuzz/fuzz_$name" ] || { echo "FAILED: fuzz_$name was not built." >&2; exit 1; }
done

status=0
for name in "${names[@]}"; do
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  # fuzz/NAME/flags: libFuzzer options of that program, one a line ('#' starts a comment).
  flags=()
  [ -f "$root/fuzz/$name/flags" ] && mapfile -t flags < <(grep -v '^[[:space:]]*\(#\|$\)' "$root/fuzz/$name/flags")
  # New inputs go to the build folder's corpus; the seeds in the repository are only read.
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
     "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
     -artifact_prefix="$artifacts/" "${flags[@]}" "$corpus" "$root/fuzz/$name/corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    kept=$(find "$corpus" -type f | wc -l)
    echo "fuzz_$name: ${runs:-?} executions in ${seconds}s, nothing found ($kept inputs kept so far)"
  else
    status=1
    echo "fuzz_$name FOUND A FAULT (log: $log):" >&2
    grep -E "PROPERTY BROKEN|ERROR: |runtime error|SUMMARY|Test unit written" "$log" | head -n 8 >&2 || tail -n 20 "$log" >&2
  fi
done
exit $status
