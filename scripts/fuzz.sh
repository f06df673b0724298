#!/bin/sh
# Builds the round-trip fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each one briefly from its seeds.
#   scripts/fuzz.sh [seconds per target, default 20]
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=build/fuzz
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ is not installed; nothing to do" >&2
  exit 0
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCRVL_FUZZ=ON -DCRVL_TESTS=OFF -DCRVL_BENCH=OFF >/dev/null
targets="value_list marked_text filter register_value task ini_text"
for t in $targets; do cmake --build "$build" -j2 --target "${t}_fuzz" >/dev/null; done
status=0
for t in $targets; do
  work=$(mktemp -d)
  cp fuzz/seeds/"$t"/* "$work"/ 2>/dev/null || true
  if ! "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -max_len=512 -print_final_stats=1 \
      -artifact_prefix="$build/$t-" "$work" >"$build/$t.log" 2>&1; then
    echo "$t: FAILED (see $build/$t.log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$t.log")
  echo "$t: ${runs:-?} executions"
  rm -rf "$work"
done
exit $status
