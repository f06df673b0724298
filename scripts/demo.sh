#!/usr/bin/env bash
# The demo: builds the console program (optimised), creates two sample folders under
# ./demo/, creates a Mirror job for them with the console's own commands, simulates the
# job (every action "OK"), runs it, and runs it again to show that nothing is left to do.
# CRVL=/usr/bin/crvl uses an installed program instead of building one; DEMO_DIR puts
# the folders elsewhere.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -n "${CRVL:-}" ]; then
  crvl="$CRVL"
else
  scripts/setup.sh
  echo "=== building crvl (linux-release) ==="
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target crvl -j "$(nproc 2>/dev/null || echo 2)"
  crvl="$root/build/linux-release/crvl"
fi

demo="${DEMO_DIR:-$root/demo}"
rm -rf "$demo"
mkdir -p "$demo/Documents/Letters" "$demo/Documents/Photos/2024" "$demo/Backup/Old stuff"

# The left folder: a few files in sub-folders.
printf 'Dear Ann,\nthe meeting moves to Friday.\n' > "$demo/Documents/Letters/ann.txt"
printf 'Dear Bob,\nthanks for the books.\n' > "$demo/Documents/Letters/bob.txt"
printf 'Shopping: bread, milk, apples\n' > "$demo/Documents/list.txt"
head -c 200000 /dev/urandom > "$demo/Documents/Photos/2024/beach.jpg"
head -c 150000 /dev/urandom > "$demo/Documents/Photos/2024/hills.jpg"
# The right folder: an older copy with a stale file and a folder that is gone on the left.
printf 'Shopping: bread\n' > "$demo/Backup/list.txt"
touch -d '2020-01-01 12:00' "$demo/Backup/list.txt"
printf 'no longer needed\n' > "$demo/Backup/Old stuff/notes.txt"
printf 'stale\n' > "$demo/Backup/obsolete.txt"

# A settings file of its own keeps the demo's job and its log inside the demo folder.
c() { echo "\$ crvl $*"; "$crvl" --settings "$demo/CRVL.INI" "$@"; }
echo
echo "=== a Mirror job: the right folder becomes a copy of the left one ==="
c config set log-folder "$demo/logs"
c config set log-format 1
c job new Demo "$demo/Documents" "$demo/Backup" --mode Mirror --file "$demo/mirror.job"
c job show Demo

run() {
  echo
  echo "=== crvl $1 Demo ==="
  "$crvl" --settings "$demo/CRVL.INI" "$@" Demo
}

run simulate -v
run run
run run

echo
echo "=== the folders are now equal ==="
diff -r "$demo/Documents" "$demo/Backup" && echo "Documents and Backup are identical"
echo
c logs
