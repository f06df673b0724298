#!/usr/bin/env bash
# The demo: builds the console program (optimised), creates two sample folders under
# ./demo/, writes a Mirror job for them, simulates the job (every action "OK"), runs it,
# and runs it again to show that nothing is left to do.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh
echo "=== building crvl (linux-release) ==="
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target crvl -j "$(nproc 2>/dev/null || echo 2)"
crvl="$root/build/linux-release/crvl"

demo="$root/demo"
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

# A settings file of its own keeps the demo's job log inside ./demo/.
printf '[CRVL]\r\nLog=%s\r\nExpMode=1\r\n' "$demo/logs" > "$demo/settings.ini"
# The Mirror preset: the right folder becomes a copy of the left one.
cat > "$demo/mirror.job" <<JOB
[CRVL]
Option=0;+>;=>;->;_>;?;!=;d;d+
Filter=

[Folder]
1=+$demo/Documents;$demo/Backup
JOB

run() {
  echo
  echo "=== crvl $1 demo/mirror.job ==="
  "$crvl" --settings "$demo/settings.ini" "$1" "$demo/mirror.job"
}

run simulate
run run
run run

echo
echo "=== the folders are now equal ==="
diff -r "$demo/Documents" "$demo/Backup" && echo "demo/Documents and demo/Backup are identical"
