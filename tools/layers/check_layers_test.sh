#!/usr/bin/env bash
# The layer check on small trees of its own: it passes a tree whose includes point down
# and fails one with an upward include and one with an include between the two folders
# of one rank.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
check="$(cd "$(dirname "$0")" && pwd)/check_layers.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

make_tree() {  # make_tree DIR: files whose includes point down
  mkdir -p "$1/platform/posix" "$1/jobs" "$1/engine" "$1/logs" "$1/plugins" "$1/cli"
  printf '#include "platform/files.h"\n#include "os_traits.h"\n' > "$1/platform/posix/files.cpp"
  printf '#include "platform/files.h"\n' > "$1/jobs/job.cpp"
  printf '#include "jobs/job.h"\n#include <vector>\n' > "$1/engine/run.cpp"
  printf '#include "engine/run.h"\n' > "$1/logs/log.cpp"
  printf '#include "logs/log.h"\n#include "plugins/p.h"\n' > "$1/cli/main.cpp"
}

expect() {  # expect STATUS DIR LABEL
  "$check" "$2" > "$work/out" 2>&1
  local got=$?
  if [ "$got" -ne "$1" ]; then
    echo "FAIL: $3: status $got, expected $1"; cat "$work/out"; failures=$((failures + 1))
  fi
}

make_tree "$work/good"
expect 0 "$work/good" "includes that point down"

make_tree "$work/up"
printf '#include "engine/run.h"\n' >> "$work/up/jobs/job.cpp"
expect 1 "$work/up" "jobs including engine"
grep -q 'jobs/job.cpp:2: includes engine/run.h' "$work/out" || { echo "FAIL: the report names the file and line"; failures=$((failures + 1)); }

make_tree "$work/platform-up"
printf '  #  include "schedule/x.h"\n' >> "$work/platform-up/platform/posix/files.cpp"
expect 1 "$work/platform-up" "platform including schedule, with spaces in the directive"

make_tree "$work/beside"
printf '#include "plugins/p.h"\n' >> "$work/beside/logs/log.cpp"
expect 1 "$work/beside" "logs including plugins (the same rank)"

[ $failures -eq 0 ] && echo "layer check tests: all passed"
exit $((failures > 0))
