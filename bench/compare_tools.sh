#!/usr/bin/env bash
# crvl against reference tools on three data sets:
#   (a) 100,000 small files of mixed sizes in 10,000 folders
#   (b) one flat folder of 100,000 files
#   (c) four files of 256 MiB
# Measures the initial Mirror run into an empty target (against cp -a and rsync -a),
# the no-change Mirror run (against rsync -a --delete and the bare metadata walk
# `find SRC DST -printf '%s %T@\n'`, the floor) and a 1 % change (against
# rsync -a --delete). Each round runs the compared commands in alternating order; the
# report gives medians of the per-round ratios and the peak RSS of crvl.
#
# Usage: bench/compare_tools.sh [ROUNDS]        (default 3; data under build/bench-data)
# Environment: CRVL_BENCH_DIR overrides the data folder (it must be on a local disk).
# The page cache is warm in every measurement (every tool reads the same cached tree).
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-3}

scripts/setup.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target crvl crvl_make_tree -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
crvl="$root/build/linux-release/crvl"
gen="$root/build/linux-release/crvl_make_tree"

work=${CRVL_BENCH_DIR:-$root/build/bench-data}
rm -rf "$work"
mkdir -p "$work"
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

# Job logs off (bit 2 of "Opt"): the comparison is about the file work; the live action
# lines still go to /dev/null.
printf '[CRVL]\r\nOpt=4\r\n' > "$work/settings.ini"

# mirror_job NAME SRC DST
mirror_job() {
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' "$2" "$3" \
    > "$work/$1.job"
}

# timed LABEL CMD...: runs the command, prints "seconds peak-rss-kib" into $work/LABEL.
timed() {
  local label=$1
  shift
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/rss.tmp" "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  echo "$(echo "$end - $start" | bc -l) $(tail -1 "$work/rss.tmp")" >> "$work/$label.times"
}

crvl_cmd=("$crvl" --settings "$work/settings.ini" run)

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# ratios A B: per-round ratio of the times in A.times and B.times, then the median.
ratio() { paste -d' ' <(cut -d' ' -f1 "$work/$1.times") <(cut -d' ' -f1 "$work/$2.times") | awk '{ print $1 / $2 }' | median; }
med() { cut -d' ' -f1 "$work/$1.times" | median; }
peak() { cut -d' ' -f2 "$work/$1.times" | sort -n | tail -1; }

echo "generating data sets in $work"
"$gen" deep "$work/a"
"$gen" flat "$work/b"
"$gen" large "$work/c"

# Initial copies: the target is removed before every command.
initial() {
  local set=$1
  mirror_job "init-$set" "$work/$set" "$work/$set-crvl"
  for r in $(seq 1 "$rounds"); do
    local order="crvl cp rsync"
    if (( r % 2 == 0 )); then order="rsync cp crvl"; fi
    for tool in $order; do
      rm -rf "$work/$set-crvl" "$work/$set-cp" "$work/$set-rsync"
      sync
      case $tool in
        # crvl wants its target folder to exist (a missing one is reported as a failure).
        crvl) mkdir -p "$work/$set-crvl"; timed "init-$set-crvl" "${crvl_cmd[@]}" "$work/init-$set.job" ;;
        cp) timed "init-$set-cp" cp -a "$work/$set" "$work/$set-cp" ;;
        rsync) timed "init-$set-rsync" rsync -a "$work/$set/" "$work/$set-rsync/" ;;
      esac
    done
  done
  rm -rf "$work/$set-cp" "$work/$set-rsync"
}

# No-change runs: both targets are mirrors of the source.
nochange() {
  local set=$1
  mirror_job "same-$set" "$work/$set" "$work/$set-crvl"
  mkdir -p "$work/$set-crvl"
  "${crvl_cmd[@]}" "$work/same-$set.job" >/dev/null
  rsync -a --delete "$work/$set/" "$work/$set-rsync/"
  for r in $(seq 1 "$rounds"); do
    local order="crvl rsync find"
    if (( r % 2 == 0 )); then order="find rsync crvl"; fi
    for tool in $order; do
      case $tool in
        crvl) timed "same-$set-crvl" "${crvl_cmd[@]}" "$work/same-$set.job" ;;
        rsync) timed "same-$set-rsync" rsync -a --delete "$work/$set/" "$work/$set-rsync/" ;;
        find) timed "same-$set-find" find "$work/$set" "$work/$set-crvl" -printf '%s %T@\n' ;;
      esac
    done
  done
}

# One per cent changed between runs; both targets start as mirrors of the source.
change() {
  local set=$1
  for r in $(seq 1 "$rounds"); do
    "$gen" change "$work/$set" "$r"
    if (( r % 2 )); then
      timed "chg-$set-crvl" "${crvl_cmd[@]}" "$work/same-$set.job"
      timed "chg-$set-rsync" rsync -a --delete "$work/$set/" "$work/$set-rsync/"
    else
      timed "chg-$set-rsync" rsync -a --delete "$work/$set/" "$work/$set-rsync/"
      timed "chg-$set-crvl" "${crvl_cmd[@]}" "$work/same-$set.job"
    fi
  done
  diff -rq "$work/$set" "$work/$set-crvl" >/dev/null || echo "WARNING: crvl target differs from the source"
}

echo "initial copies"
initial a
initial b
initial c
echo "no-change runs"
nochange a
nochange b
echo "1 % change"
change a

entries_a=$(find "$work/a" | wc -l)
entries_b=$(find "$work/b" | wc -l)
per_a=$(echo "$(med same-a-crvl) / $entries_a" | bc -l)
per_b=$(echo "$(med same-b-crvl) / $entries_b" | bc -l)
c_bytes=$((4 * 256 * 1024 * 1024))

printf '\n%-58s %s\n' "measure (median of $rounds rounds)" "result"
printf '%-58s %.3f s\n' "(a) initial copy, crvl" "$(med init-a-crvl)"
printf '%-58s %.2f (target <= 1.10)\n' "(a) initial copy, crvl / cp -a" "$(ratio init-a-crvl init-a-cp)"
printf '%-58s %.2f\n' "(a) initial copy, crvl / rsync -a" "$(ratio init-a-crvl init-a-rsync)"
printf '%-58s %.2f\n' "(b) initial copy, crvl / cp -a" "$(ratio init-b-crvl init-b-cp)"
printf '%-58s %.2f\n' "(b) initial copy, crvl / rsync -a" "$(ratio init-b-crvl init-b-rsync)"
printf '%-58s %.0f MiB/s\n' "(c) initial copy, crvl throughput" "$(echo "$c_bytes / 1048576 / $(med init-c-crvl)" | bc -l)"
printf '%-58s %.2f (target >= 0.95)\n' "(c) throughput crvl / cp -a" "$(ratio init-c-cp init-c-crvl)"
printf '%-58s %.2f\n' "(c) throughput crvl / rsync -a" "$(ratio init-c-rsync init-c-crvl)"
printf '%-58s %.3f s\n' "(a) no-change run, crvl" "$(med same-a-crvl)"
printf '%-58s %.2f (target <= 1.5)\n' "(a) no-change, crvl / find walk" "$(ratio same-a-crvl same-a-find)"
printf '%-58s %.2f (target <= 0.5)\n' "(a) no-change, crvl / rsync -a --delete" "$(ratio same-a-crvl same-a-rsync)"
printf '%-58s %.2f\n' "(b) no-change, crvl / find walk" "$(ratio same-b-crvl same-b-find)"
printf '%-58s %.2f\n' "(b) no-change, crvl / rsync -a --delete" "$(ratio same-b-crvl same-b-rsync)"
printf '%-58s %.2f (target <= 1.2)\n' "no-change cost per entry, flat (b) / deep (a)" "$(echo "$per_b / $per_a" | bc -l)"
printf '%-58s %.2f\n' "(a) 1 % change, crvl / rsync -a --delete" "$(ratio chg-a-crvl chg-a-rsync)"
printf '%-58s %s KiB\n' "peak RSS of crvl, (a) initial copy" "$(peak init-a-crvl)"
printf '%-58s %s KiB\n' "peak RSS of crvl, (b) initial copy" "$(peak init-b-crvl)"
printf '%-58s %s KiB\n' "peak RSS of crvl, (a) no-change run" "$(peak same-a-crvl)"
printf '%-58s %s KiB\n' "peak RSS of crvl, (b) no-change run" "$(peak same-b-crvl)"
