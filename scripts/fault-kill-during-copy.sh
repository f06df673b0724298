#!/usr/bin/env bash
# Kills crvl while it replaces a large file and checks what a user would find: the old
# file intact or the new one complete, never a mix, never a truncated file under the
# real name; and no temporary file left once the job has run again. The same with a
# hang-up (SIGHUP), which must stop the run between two actions.
#
# Usage: scripts/fault-kill-during-copy.sh [CRVL]   (default: build/linux/crvl)
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
cd "$(dirname "$0")/.."
crvl=${1:-build/linux/crvl}
[ -x "$crvl" ] || { echo "no program at $crvl"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/crvl-fault.XXXXXX")
# The program's per-user files (job locks, default logs) go into the test's folder, never
# into the real user's configuration.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.local/state"
mkdir -p "$XDG_CONFIG_HOME"
trap 'rm -rf "$work"' EXIT
size_mib=512
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

printf '[CRVL]\r\nOpt=4\r\n' > "$work/settings.ini"
printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' \
  "$work/L" "$work/R" > "$work/mirror.job"

# A large source (new version) and a target (old version) of another content.
mkdir -p "$work/L" "$work/R"
head -c $((size_mib << 20)) /dev/zero | tr '\0' 'N' > "$work/L/big.bin"
head -c $((size_mib << 20)) /dev/zero | tr '\0' 'O' > "$work/R/big.bin"
touch -d '2020-01-01' "$work/R/big.bin"
new_sum=$(sha256sum < "$work/L/big.bin" | cut -d' ' -f1)
old_sum=$(sha256sum < "$work/R/big.bin" | cut -d' ' -f1)

temporary_names() { find "$work/R" -name '.~crvl*.tmp' | sort; }
temporaries() { temporary_names | grep -c .; }

# interrupt SIGNAL: starts a run, waits until the run's own temporary file appears (one
# that was not there before), sends SIGNAL. Prints the run's exit status.
interrupt() {
  local signal=$1 before now
  before=$(temporary_names)
  "$crvl" --settings "$work/settings.ini" run "$work/mirror.job" > "$work/run.out" 2>&1 &
  local pid=$!
  local waited=0
  while kill -0 "$pid" 2>/dev/null && [ $waited -lt 20000 ]; do
    now=$(temporary_names)
    if [ -n "$now" ] && [ "$now" != "$before" ]; then break; fi
    sleep 0.001
    waited=$((waited + 1))
  done
  kill -s "$signal" "$pid" 2>/dev/null
  wait "$pid"
  echo $?
}

check_target() {
  local label=$1 sum
  sum=$(sha256sum < "$work/R/big.bin" | cut -d' ' -f1)
  if [ "$sum" = "$old_sum" ]; then
    echo "$label: the old file is intact"
  elif [ "$sum" = "$new_sum" ]; then
    echo "$label: the new file is complete"
  else
    fail "$label: R/big.bin is neither the old nor the new file ($(stat -c %s "$work/R/big.bin") bytes)"
  fi
}

# 1. SIGKILL in the middle of the copy: nothing can clean up, the temporary stays.
status=$(interrupt KILL)
[ "$status" -eq 137 ] || echo "note: the run ended with $status before the kill reached it"
check_target "after SIGKILL"
echo "temporary files after SIGKILL: $(temporaries)"

# 2. The next run removes what the killed run left behind before it copies. A hang-up
#    stops it like Ctrl+C: its own copy is cancelled and that temporary removed too.
if [ "$(sha256sum < "$work/R/big.bin" | cut -d' ' -f1)" = "$old_sum" ]; then
  status=$(interrupt HUP)
  [ "$status" -eq 3 ] || fail "after SIGHUP the exit status is $status, not 3 (stopped)"
  check_target "after SIGHUP"
  [ "$(temporaries)" -eq 0 ] || fail "after SIGHUP $(temporaries) temporary files are left"
fi

# 3. The run after that completes the copy and leaves no temporary file.
"$crvl" --settings "$work/settings.ini" run "$work/mirror.job" > "$work/run.out" 2>&1 || fail "the next run failed: $(cat "$work/run.out")"
[ "$(sha256sum < "$work/R/big.bin" | cut -d' ' -f1)" = "$new_sum" ] || fail "the next run did not complete the copy"
[ "$(temporaries)" -eq 0 ] || fail "$(temporaries) temporary files left after the next run"
find "$work/L" -name '.~crvl*.tmp' | grep -q . && fail "a temporary file reached the source"

if [ $failures -eq 0 ]; then echo "fault script: all checks passed"; fi
exit $((failures > 0))
