#!/usr/bin/env bash
# Initial copies of crvl against cp -a, side by side:
#   (s) 20,000 small files of mixed sizes in 2,020 folders: crvl with one copy worker,
#       crvl with the pool (its default, or COPY_WORKERS), cp -a
#   (g) one file of 2 GiB: crvl and cp -a, as throughput
# Each round runs the commands in alternating order into emptied targets; the report
# gives the median of the per-round ratios. Job logs are on (HTML Unicode), as a user
# has them; the live action lines go to /dev/null.
#
# Usage: bench/copy_compare.sh [ROUNDS]      (default 5; data under build/bench-copy)
# Environment: CRVL_BENCH_DIR overrides the data folder (a local disk, not tmpfs);
# COPY_WORKERS the pool's size (0: one per core); CRVL_BIN another crvl to measure.
# As root the small files go onto an ext4 file system made afresh for each copy (a
# loop-mounted image, in /dev/shm when it has room, else in the data folder;
# CRVL_FRESH_IN_MEMORY=0 keeps it in the data folder); CRVL_FRESH_FS=0 leaves that out.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-5}
workers=${COPY_WORKERS:-0}

if [[ ! -x build/linux-release/crvl ]]; then
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target crvl crvl_make_tree -j 2 >/dev/null
fi
crvl=${CRVL_BIN:-$root/build/linux-release/crvl}
gen="$root/build/linux-release/crvl_make_tree"

work=${CRVL_BENCH_DIR:-$root/build/bench-copy}
rm -rf "$work"
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.state XDG_RUNTIME_DIR=$work/run

settings() { printf '[CRVL]\r\nLog=%s\r\nExpMode=6\r\nCopyPool=%s\r\n' "$work/logs" "$2" > "$work/$1.ini"; }
settings one 1
settings pool "$workers"
job() { printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' "$2" "$3" > "$work/$1.job"; }

# Where the sets lie: the large file in the data folder, the small files there or in
# memory with the fresh file system (below).
source_s=$work/s
source_g=$work/g
# The small files are copied, by every tool, onto a file system made afresh for that copy
# (an ext4 image, loop-mounted; root only): into a file system that has just had 20,000
# files deleted, ext4 searches among the freed inodes, and that cost, which varies from
# round to round, would swamp the tools' own. CRVL_FRESH_FS=0, or no root, copies onto
# the data folder's own file system instead.
fresh=
memory=
if [ "${CRVL_FRESH_FS:-1}" != 0 ] && [ "$(id -u)" = 0 ] && command -v mkfs.ext4 > /dev/null; then
  fresh="$work/fresh"
  mkdir -p "$fresh"
  # The image lies in memory when /dev/shm has room for it (CRVL_FRESH_IN_MEMORY=0 keeps
  # it in the data folder): the copy then costs what the file system and the tool do,
  # not what the virtual disk's write-back happens to do meanwhile.
  image="$work/fresh.img"
  if [ "${CRVL_FRESH_IN_MEMORY:-1}" != 0 ] && [ "$(df --output=avail -k /dev/shm 2>/dev/null | tail -1)" -gt $((6 << 20)) ]; then
    image=$(mktemp /dev/shm/crvl-bench-copy.XXXXXX)
  fi
  truncate -s 4G "$image"
  if [ "$image" != "$work/fresh.img" ]; then
    # The small files are read from memory too: the host of a virtual machine may page
    # out a cold page cache between two rounds, and a tool that then read from the disk
    # would pay for it.
    memory=$(mktemp -d /dev/shm/crvl-bench-src.XXXXXX)
    source_s=$memory/s
  fi
  cleanup() {
    mountpoint -q "$fresh" && umount "$fresh"
    rm -rf "$work"
    if [ "$image" != "$work/fresh.img" ]; then rm -rf "$image" "$memory"; fi
  }
fi
# The small-file set: the first 20 of make_tree's 100 top folders (20,000 files).
"$gen" deep "$work/all"
mkdir "$source_s"
for i in $(seq 0 19); do mv "$work/all/d$i" "$source_s/"; done
rm -rf "$work/all"
mkdir "$source_g"
head -c $((2 << 30)) /dev/urandom > "$source_g/big.bin"
small_target=${fresh:-$work}
job s "$source_s" "$small_target/s-crvl"
job g "$source_g" "$work/g-crvl"

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# one SET TOOL: a timed initial copy into an emptied target (for the small files on a
# fresh file system, when there is one); the making and mounting are not timed, the
# unmounting (which writes the copy out) is not either, as for cp on the data's disk.
one() {
  local to=$work
  if [ -n "$fresh" ]; then
    mountpoint -q "$fresh" && umount "$fresh"
    # What the unmount wrote lands in the image's pages on the data disk: out with it
    # too, so that no copy pays for the write-back of an earlier one.
    sync
    if [ "$1" = s ]; then
      # Inode tables and journal are written at once, not by the kernel's lazy
      # initialisation during the copy that follows.
      mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$image" && mount -o loop "$image" "$fresh"
      to=$fresh
    fi
  fi
  rm -rf "$to/$1-crvl" "$to/$1-cp" "$work/logs"
  sync
  # The large source is read once untimed: a host that pages out cold memory would
  # otherwise let one tool read it from disk and the next from the cache it left.
  [ "$1" = g ] && cat "$source_g/big.bin" > /dev/null
  case $2 in
    crvl1) mkdir "$to/$1-crvl"; seconds "$crvl" --settings "$work/one.ini" run "$work/$1.job" ;;
    pool) mkdir "$to/$1-crvl"; seconds "$crvl" --settings "$work/pool.ini" run "$work/$1.job" ;;
    cp) local from=$source_g; [ "$1" = s ] && from=$source_s; seconds cp -a "$from" "$to/$1-cp" ;;
  esac
}

: > "$work/s.times"
: > "$work/g.times"
for r in $(seq 1 "$rounds"); do
  if (( r % 2 )); then
    s1=$(one s crvl1); sp=$(one s pool); sc=$(one s cp)
    gp=$(one g pool); gc=$(one g cp)
  else
    sc=$(one s cp); sp=$(one s pool); s1=$(one s crvl1)
    gc=$(one g cp); gp=$(one g pool)
  fi
  echo "$s1 $sp $sc" >> "$work/s.times"
  echo "$gp $gc" >> "$work/g.times"
  echo "round $r: small crvl-1 $s1 s, crvl-pool $sp s, cp -a $sc s; 2 GiB crvl $gp s, cp -a $gc s"
done

col() { awk -v c="$2" '{ print $c }' "$work/$1.times" | median; }
ratio() { awk -v a="$2" -v b="$3" '{ print $a / $b }' "$work/$1.times" | median; }
printf '\n%-52s %s\n' "initial copy (median of $rounds rounds), $(nproc) cores" "result"
printf '%-52s %.3f s\n' "(s) 20,000 files, cp -a${fresh:+ (onto a fresh ext4${memory:+, in memory})}" "$(col s 3)"
printf '%-52s %.2f\n' "(s) crvl with one worker / cp -a" "$(ratio s 1 3)"
printf '%-52s %.2f (target <= 0.80)\n' "(s) crvl with the pool ($workers: 0 = per core) / cp -a" "$(ratio s 2 3)"
printf '%-52s %.0f MiB/s\n' "(g) 2 GiB, cp -a throughput" "$(echo "2048 / $(col g 2)" | bc -l)"
printf '%-52s %.2f (target >= 0.95)\n' "(g) crvl throughput / cp -a throughput" "$(ratio g 2 1)"
