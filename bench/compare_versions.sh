#!/usr/bin/env bash
# Two builds of crvl against each other on the same data: an older release build (OLD)
# and a newer one (NEW), for example before and after a change to the engine.
#   (a) 100,000 small files of mixed sizes in 10,000 folders
#   (b) one flat folder of 100,000 files
#   (c) four files of 256 MiB
# Measures the initial Mirror run into an empty target and the no-change Mirror run.
# Each round runs the two builds in alternating order; the report gives the medians of
# each and the median of the per-round ratios NEW / OLD (below 1: NEW is faster), and
# the peak RSS of each.
#
# Usage: bench/compare_versions.sh OLD_CRVL NEW_CRVL [ROUNDS]   (default 5 rounds)
# Environment: CRVL_BENCH_DIR overrides the data folder (it must be on a local disk).
# Build a past version with:  git worktree add /tmp/old REV && cd /tmp/old &&
#   cmake --preset linux-release && cmake --build --preset linux-release --target crvl
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[ $# -ge 2 ] || { echo "usage: bench/compare_versions.sh OLD_CRVL NEW_CRVL [ROUNDS]"; exit 2; }
old=$(realpath "$1")
new=$(realpath "$2")
rounds=${3:-5}

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target crvl_make_tree -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
gen="$root/build/linux-release/crvl_make_tree"

work=${CRVL_BENCH_DIR:-$root/build/bench-versions}
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# Job logs off (bit 2 of "Opt"): the comparison is about the file work.
printf '[CRVL]\r\nOpt=4\r\n' > "$work/settings.ini"
mirror_job() {
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' "$2" "$3" \
    > "$work/$1.job"
}

timed() {
  local label=$1
  shift
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/rss.tmp" "$@" >/dev/null 2>&1 || echo "WARNING: $label: $1 failed"
  end=$(date +%s.%N)
  echo "$(echo "$end - $start" | bc -l) $(tail -1 "$work/rss.tmp")" >> "$work/$label.times"
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { paste -d' ' <(cut -d' ' -f1 "$work/$1.times") <(cut -d' ' -f1 "$work/$2.times") | awk '{ print $1 / $2 }' | median; }
med() { cut -d' ' -f1 "$work/$1.times" | median; }
peak() { cut -d' ' -f2 "$work/$1.times" | sort -n | tail -1; }

binary() { if [ "$1" = new ]; then echo "$new"; else echo "$old"; fi; }

echo "generating data sets in $work"
"$gen" deep "$work/a"
"$gen" flat "$work/b"
"$gen" large "$work/c"

for set in a b c; do
  for build in old new; do mirror_job "$set-$build" "$work/$set" "$work/$set-$build"; done
  for r in $(seq 1 "$rounds"); do
    order="old new"
    if (( r % 2 == 0 )); then order="new old"; fi
    for build in $order; do
      rm -rf "$work/$set-$build"
      mkdir -p "$work/$set-$build"
      sync
      timed "init-$set-$build" "$(binary "$build")" --settings "$work/settings.ini" run "$work/$set-$build.job"
    done
  done
  for build in old new; do
    diff -rq "$work/$set" "$work/$set-$build" >/dev/null || echo "WARNING: the $build build's target differs from the source"
  done
  if [ "$set" != c ]; then
    for r in $(seq 1 "$rounds"); do
      order="old new"
      if (( r % 2 == 0 )); then order="new old"; fi
      for build in $order; do
        timed "same-$set-$build" "$(binary "$build")" --settings "$work/settings.ini" run "$work/$set-$build.job"
      done
    done
  fi
  rm -rf "$work/$set-old" "$work/$set-new"
done

printf '\nOLD %s\nNEW %s\n' "$old" "$new"
printf '%-40s %10s %10s %12s\n' "measure (median of $rounds rounds)" "OLD s" "NEW s" "NEW / OLD"
for m in init-a init-b init-c same-a same-b; do
  printf '%-40s %10.3f %10.3f %12.2f\n' "$m" "$(med "$m-old")" "$(med "$m-new")" "$(ratio "$m-new" "$m-old")"
done
printf '%-40s %10s %10s\n' "peak RSS KiB, (a) initial copy" "$(peak init-a-old)" "$(peak init-a-new)"
printf '%-40s %10s %10s\n' "peak RSS KiB, (a) no-change run" "$(peak same-a-old)" "$(peak same-a-new)"
