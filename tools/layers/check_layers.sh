#!/usr/bin/env bash
# Fails when a source file includes from a layer above its own. The folders of src/ are
# layers, lowest first; a file may include from its own folder and from lower layers,
# never from a higher one, and never from the other folder of its own rank:
#
#   1 platform   the operating system; nothing of the program
#   2 resources  the language library's data
#   3 jobs       profile store, path macros, settings, filters, the job model
#   4 language   lookup, language files, the language choice
#   5 engine     providers, scanner, actions, the run (with its own seams)
#   6 logs | plugins
#   7 schedule   run wrapper, threads, removable media, system integration
#   8 cli | shell
#
# Usage: tools/layers/check_layers.sh [SRC]   (default: src of this checkout)
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
src=${1:-$(cd "$(dirname "$0")/../.." && pwd)/src}

rank() {
  case $1 in
    platform) echo 1 ;; resources) echo 2 ;; jobs) echo 3 ;; language) echo 4 ;; engine) echo 5 ;;
    logs|plugins) echo 6 ;; schedule) echo 7 ;; cli|shell) echo 8 ;; *) echo 0 ;;
  esac
}

status=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  own=${rel%%/*}
  own_rank=$(rank "$own")
  [ "$own_rank" -eq 0 ] && continue
  while IFS=: read -r line target; do
    folder=${target%%/*}
    [ "$folder" = "$target" ] && continue  # "os_traits.h" and other headers of the folder itself
    target_rank=$(rank "$folder")
    [ "$target_rank" -eq 0 ] && continue
    if [ "$target_rank" -gt "$own_rank" ] || { [ "$target_rank" -eq "$own_rank" ] && [ "$folder" != "$own" ]; }; then
      echo "$rel:$line: includes $target, which lies above (or beside) layer $own"
      status=1
    fi
  done < <(grep -n -o -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+"' "$file" |
           sed -E 's/^([0-9]+):.*"([^"]+)"$/\1:\2/')
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0)

if [ $status -eq 0 ]; then echo "layers: every include points down"; fi
exit $status
