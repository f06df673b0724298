#!/usr/bin/env bash
# The no-change Mirror run side by side with the metadata floor (crvl_floor_walk:
# getdents64 and statx of both trees on one thread), `find` over both trees and
# `rsync -a --delete`, on 20,000 small files in 2,100 folders (100 folders of 20 of 10
# files), warm cache; crvl with one scan thread and with the default. Rounds run the
# commands in alternating order; the report gives medians of the per-round ratios.
# Then the scale figures: no-change runs over about 200,000 and 1,000,000 entries in
# folders of ten files, and one folder of 200,000 files, with the time per entry and the
# peak RSS per entry (above the RSS of a run over an empty pair).
#
# Usage: bench/scan_bench.sh [ROUNDS] [CRVL]      (default 5 rounds; the release crvl)
# Environment: CRVL_BENCH_DIR (default /dev/shm/crvl-scan-bench, a tmpfs); CRVL_SCALE=0
# leaves the scale figures out. Other work on the machine makes the times noisy: read
# the ratios, which are measured side by side.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-5}
rel="$root/build/linux-release"
crvl=$(realpath "${2:-$rel/crvl}")
gen="$rel/crvl_make_tree"
floor="$rel/crvl_floor_walk"
[ -x "$gen" ] && [ -x "$floor" ] || {
  echo "build them first: cmake --preset linux-release && cmake --build --preset linux-release --target crvl crvl_make_tree crvl_floor_walk"
  exit 2
}

work=${CRVL_BENCH_DIR:-/dev/shm/crvl-scan-bench}
rm -rf "$work"
mkdir -p "$work/home"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_STATE_HOME="$work/home/state"

# settings NAME THREADS: job logs off (bit 2 of "Opt"); THREADS 0 leaves the default.
settings() {
  printf '[CRVL]\r\nOpt=4\r\n' > "$work/$1.ini"
  if [ "$2" != 0 ]; then printf 'ScanThreads=%s\r\n' "$2" >> "$work/$1.ini"; fi
}
settings one 1
settings pool 0
mirror_job() {
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' "$2" "$3" \
    > "$work/$1.job"
}

# timed LABEL CMD...: appends "seconds peak-rss-kib" to $work/LABEL.times.
timed() {
  local label=$1
  shift
  /usr/bin/time -f '%e %M' -o "$work/rss.tmp" "$@" >/dev/null 2>&1 || true
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(cut -d' ' -f2 "$work/rss.tmp")" >> "$work/$label.times"
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { paste -d' ' <(cut -d' ' -f1 "$work/$1.times") <(cut -d' ' -f1 "$work/$2.times") | awk '{ print $1 / $2 }' | median; }
med() { cut -d' ' -f1 "$work/$1.times" | median; }
peak() { cut -d' ' -f2 "$work/$1.times" | sort -n | tail -1; }

echo "data under $work; crvl: $crvl"
"$gen" grid "$work/src" 100 20 10 4096
cp -a "$work/src" "$work/dst"
cp -a "$work/src" "$work/rsync"
mirror_job same "$work/src" "$work/dst"

for r in $(seq 1 "$rounds"); do
  order="floor one pool find rsync"
  if (( r % 2 == 0 )); then order="rsync find pool one floor"; fi
  for tool in $order; do
    case $tool in
      floor) timed floor "$floor" "$work/src" "$work/dst" ;;
      one) timed one "$crvl" --settings "$work/one.ini" run "$work/same.job" ;;
      pool) timed pool "$crvl" --settings "$work/pool.ini" run "$work/same.job" ;;
      find) timed find find "$work/src" "$work/dst" -printf '%s %T@\n' ;;
      rsync) timed rsync rsync -a --delete "$work/src/" "$work/rsync/" ;;
    esac
  done
done

printf '\n%-52s %s\n' "no-change, 20,000 files in 2,100 folders ($rounds rounds)" "median"
printf '%-52s %.1f ms\n' "floor (getdents64 + statx, one thread)" "$(echo "$(med floor) / 1000" | bc -l)"
printf '%-52s %.1f ms\n' "crvl, one scan thread" "$(echo "$(med one) / 1000" | bc -l)"
printf '%-52s %.1f ms\n' "crvl, default scan threads" "$(echo "$(med pool) / 1000" | bc -l)"
printf '%-52s %.2f (target <= 1.0)\n' "crvl one thread / floor" "$(ratio one floor)"
printf '%-52s %.2f (target <= 0.7)\n' "crvl default / floor" "$(ratio pool floor)"
printf '%-52s %.2f\n' "crvl default / find" "$(ratio pool find)"
printf '%-52s %.2f (target <= 0.4)\n' "crvl default / rsync -a --delete" "$(ratio pool rsync)"
printf '%-52s %s / %s KiB\n' "peak RSS crvl / rsync" "$(peak pool)" "$(peak rsync)"

[ "${CRVL_SCALE:-1}" = 0 ] && exit 0
rm -rf "$work/src" "$work/dst" "$work/rsync"

# The RSS of a run over an empty pair: the fixed base the per-entry figures leave out.
mkdir -p "$work/e1" "$work/e2"
mirror_job empty "$work/e1" "$work/e2"
timed base "$crvl" --settings "$work/pool.ini" run "$work/empty.job"
base=$(peak base)

# scale LABEL TOP SUB FILES: a no-change run over a generated tree and its mirror.
scale() {
  local label=$1
  "$gen" grid "$work/s" "$2" "$3" "$4" 0
  cp -a "$work/s" "$work/t"
  mirror_job "$label" "$work/s" "$work/t"
  local entries
  entries=$(( $("$floor" "$work/s" | cut -d' ' -f2) ))
  for r in $(seq 1 3); do
    timed "$label" "$crvl" --settings "$work/pool.ini" run "$work/$label.job"
    timed "$label-one" "$crvl" --settings "$work/one.ini" run "$work/$label.job"
    timed "$label-floor" "$floor" "$work/s" "$work/t"
  done
  # The floor's time per entry grows with the tree too (kernel caches): its column tells
  # the system's share of any growth from the program's.
  printf '%-12s %8d entries  %6.3f us/entry (1 thread %6.3f, floor %6.3f)  peak %7d KiB  %4.0f B/entry\n' \
    "$label" "$entries" "$(echo "$(med "$label") / $entries" | bc -l)" "$(echo "$(med "$label-one") / $entries" | bc -l)" \
    "$(echo "$(med "$label-floor") / $entries" | bc -l)" \
    "$(peak "$label")" "$(echo "($(peak "$label") - $base) * 1024 / $entries" | bc -l)"
  rm -rf "$work/s" "$work/t"
}
printf '\nscale (no-change, medians of 3; RSS per entry above the base of %s KiB)\n' "$base"
scale 20k 100 20 10
scale 200k 100 182 10
scale flat-200k 0 0 200000
scale 1M 1000 91 10
