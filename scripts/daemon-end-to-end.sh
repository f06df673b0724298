#!/usr/bin/env bash
# The scheduler end to end, with the real program on real folders:
#  1. `crvl daemon` runs a start task (delay 1 s, repeat 2 s) and an availability task;
#     the availability task's folder appears mid-test and its run follows within about
#     a second; the files are checked after each run; SIGTERM during a large copy ends
#     the daemon promptly and cleanly, with no partial or temporary file.
#  2. One job never runs in two processes at once: a second `crvl run` of a job that a
#     first one is running exits with status 4 and does nothing.
#
# Usage: scripts/daemon-end-to-end.sh [CRVL]   (default: build/linux/crvl)
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
cd "$(dirname "$0")/.."
crvl=$(realpath "${1:-build/linux/crvl}")
[ -x "$crvl" ] || { echo "no program at $crvl"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/crvl-daemon.XXXXXX")
# The program's per-user files (job locks, default logs) go into the test's folder, never
# into the real user's configuration.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.local/state"
mkdir -p "$XDG_CONFIG_HOME"
daemon_pid=
cleanup() {
  [ -n "$daemon_pid" ] && kill -KILL "$daemon_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
now_ms() { date +%s%3N; }
# wait_for SECONDS COMMAND...: polls every 20 ms; false when the time runs out.
wait_for() {
  local limit=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    [ "$(now_ms)" -gt "$limit" ] && return 1
    sleep 0.02
  done
}
temporaries() { find "$1" -name '.~crvl*.tmp' | grep -c .; }
mirror_job() {  # NAME LEFT RIGHT
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' "$2" "$3" \
    > "$work/$1.job"
}

mkdir -p "$work/L1" "$work/R1" "$work/L2" "$work/logs"
echo one > "$work/L1/a.txt"
echo two > "$work/L2/b.txt"
mirror_job Every "$work/L1" "$work/R1"
mirror_job Stick "$work/L2" "$work/stick/R2"   # the stick (the folder above R2) is not there yet
printf '[CRVL]\r\nLog=%s\r\nExpMode=1\r\n\r\n[Job]\r\n1=Every;%s\r\n2=Stick;%s\r\n\r\n[Task]\r\n1=Every;so;d1;r2\r\n2=Stick;ao\r\n' \
  "$work/logs" "$work/Every.job" "$work/Stick.job" > "$work/settings.ini"

# --- 1. the daemon -------------------------------------------------------------------
started=$(now_ms)
"$crvl" --settings "$work/settings.ini" daemon > "$work/daemon.out" 2>&1 &
daemon_pid=$!

copied_one() { [ "$(cat "$work/R1/a.txt" 2>/dev/null)" = one ]; }
if wait_for 10 copied_one; then
  echo "start task: first run $(($(now_ms) - started)) ms after the start (delay 1 s)"
  [ $(($(now_ms) - started)) -ge 900 ] || fail "the start task ran before its delay"
else
  fail "the start task did not run: $(cat "$work/daemon.out")"
fi

echo "one more" > "$work/L1/a.txt"
touch -d '+5 seconds' "$work/L1/a.txt"
copied_more() { [ "$(cat "$work/R1/a.txt" 2>/dev/null)" = "one more" ]; }
wait_for 10 copied_more || fail "the repeat did not run: $(cat "$work/daemon.out")"

sleep 1.5  # the availability task is waiting for the folder above its target
[ -e "$work/stick" ] && fail "the availability task made the folder above its target"
# The stick arrives; the first run makes its own target folder R2 below it.
mkdir "$work/stick"
appeared=$(now_ms)
copied_two() { [ "$(cat "$work/stick/R2/b.txt" 2>/dev/null)" = two ]; }
if wait_for 10 copied_two; then
  delay=$(($(now_ms) - appeared))
  echo "availability task: run followed the folder after $delay ms"
  [ "$delay" -le 2500 ] || fail "the availability run came $delay ms after the folder, not about a second"
else
  fail "the availability task did not run: $(cat "$work/daemon.out")"
fi

# A large file for the next repeat; SIGTERM once its copy has begun. The file is written
# beside the folder and moved in whole: a repeat that came while it was still being
# written would copy a part of it and leave R1/big.bin shorter than the finished file.
head -c $((768 << 20)) /dev/zero | tr '\0' 'N' > "$work/big.bin"
mv "$work/big.bin" "$work/L1/big.bin"
# copying PID: the copy into R1 has begun. A new file has no name until it is complete,
# so the process's open descriptors tell; a named temporary is looked for too.
copying() {
  [ "$(temporaries "$work/R1")" -gt 0 ] || [ -e "$work/R1/big.bin" ] ||
    ls -l "/proc/$1/fd" 2>/dev/null | grep -q "$work/R1/"
}
wait_for 20 copying "$daemon_pid" || fail "the large copy never began"
kill -TERM "$daemon_pid"
termed=$(now_ms)
wait "$daemon_pid"
status=$?
daemon_pid=
ended=$(($(now_ms) - termed))
echo "SIGTERM: the daemon ended $ended ms later with status $status"
[ "$status" -eq 0 ] || fail "the daemon ended with status $status after SIGTERM"
[ "$ended" -le 5000 ] || fail "the daemon took $ended ms to end after SIGTERM"
[ "$(temporaries "$work/R1")" -eq 0 ] || fail "a temporary file is left in R1"
if [ -e "$work/R1/big.bin" ]; then
  cmp -s "$work/L1/big.bin" "$work/R1/big.bin" || fail "R1/big.bin is a partial file"
  echo "note: the copy finished before the stop reached it"
fi
grep -q "daemon ended" "$work/daemon.out" || fail "the daemon did not say that it ended"
grep -q "started Every" "$work/daemon.out" || fail "the daemon did not announce its runs"
[ "$(find "$work/logs" -name '*.txt' ! -name Log.txt | grep -c .)" -ge 3 ] || fail "the runs wrote no job logs"

# --- 2. one job, one run, across processes ---------------------------------------------
rm -f "$work/R1/big.bin"
"$crvl" --settings "$work/settings.ini" run Every > "$work/first.out" 2>&1 &
first=$!
if wait_for 20 copying "$first"; then
  kill -STOP "$first"
  "$crvl" --settings "$work/settings.ini" run Every > "$work/second.out" 2>&1
  status=$?
  kill -CONT "$first"
  [ "$status" -eq 4 ] || fail "a second run of a running job ended with $status, not 4: $(cat "$work/second.out")"
  grep -q "is running already" "$work/second.out" || fail "the second run did not say why: $(cat "$work/second.out")"
else
  fail "the first run's copy never began"
fi
wait "$first" || fail "the first run failed: $(cat "$work/first.out")"
cmp -s "$work/L1/big.bin" "$work/R1/big.bin" || fail "the first run did not complete its copy"
"$crvl" --settings "$work/settings.ini" run Every > "$work/third.out" 2>&1 || fail "a run after the first failed"

# --- 3. the daemon follows its settings ---------------------------------------------------
mkdir -p "$work/L3" "$work/R3"
echo three > "$work/L3/c.txt"
mirror_job Late "$work/L3" "$work/R3"
printf '[CRVL]\r\nLog=%s\r\nExpMode=1\r\n\r\n[Job]\r\n1=Late;%s\r\n' "$work/logs" "$work/Late.job" > "$work/follow.ini"
"$crvl" --settings "$work/follow.ini" daemon > "$work/follow.out" 2>&1 &
daemon_pid=$!
sleep 1
kill -0 "$daemon_pid" 2>/dev/null || fail "the daemon without tasks ended: $(cat "$work/follow.out")"
grep -q "waiting for some" "$work/follow.out" || fail "the daemon without tasks did not say that it waits"
"$crvl" --settings "$work/follow.ini" task add Late --at-start --repeat 1 >/dev/null
copied_three() { [ "$(cat "$work/R3/c.txt" 2>/dev/null)" = three ]; }
wait_for 10 copied_three || fail "a task added while the daemon ran did not run: $(cat "$work/follow.out")"
kill -HUP "$daemon_pid"
sleep 0.5
kill -0 "$daemon_pid" 2>/dev/null || fail "SIGHUP ended the daemon: $(cat "$work/follow.out")"
"$crvl" --settings "$work/follow.ini" task remove Late >/dev/null
sleep 1.5  # a run that had begun ends; no other follows
echo "three again" > "$work/L3/c.txt"
touch -d '+5 seconds' "$work/L3/c.txt"
sleep 3
[ "$(cat "$work/R3/c.txt")" = three ] || fail "a removed repeating task still ran: $(cat "$work/follow.out")"
kill -0 "$daemon_pid" 2>/dev/null || fail "the daemon ended when its last task was removed"
grep -q "the tasks changed: now 0 tasks" "$work/follow.out" || fail "the daemon did not tell the removal"
kill -TERM "$daemon_pid"
wait "$daemon_pid" || fail "the daemon following its settings ended with status $?"
daemon_pid=
echo "settings followed: a task added and one removed while the daemon ran; SIGHUP reads them again"

if [ $failures -eq 0 ]; then echo "daemon end-to-end: all checks passed"; fi
exit $((failures > 0))
