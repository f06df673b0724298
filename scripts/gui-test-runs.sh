# Part of scripts/gui-test.sh (sourced; uses its helpers): runs started from the tray
# menu, at start-up, by a second instance and by WM_COPYDATA; a simulation; stopping one
# job, every job, and closing during a run; the busy icon.
# Run on its own it only says what it is (with --help) or refuses.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  sed -n '1,/^[^#]/s/^# \{0,1\}//p' "$0"
  case "${1:-}" in -h | --help) exit 0 ;; *) exit 2 ;; esac
fi

# The icon in the notification area compared with one taken earlier.
tray_is() { shot_tray "$case_dir/now.png"; same_image "$1" "$case_dir/now.png"; }
tray_is_not() { shot_tray "$case_dir/now.png"; different_image "$1" "$case_dir/now.png"; }
# More files than `count` in `folder`: a run is copying.
files_above() { [ "$(count_files "$1")" -gt "$2" ]; }
window_exists() { drive wait-window 1000 >/dev/null; }
# The log index names a finished run of the job.
run_logged() { grep -qs "^$1;" "$case_dir/logs/Log.txt"; }
# A job with many one-byte files: its run lasts several seconds under Wine, long
# enough to be stopped in the middle.
long_files=6000

# --- "Si&mulate..." and "&Start now" ---------------------------------------------------

new_case start-now
make_job Alpha 3
write_settings US "1=Alpha;JOB:Alpha"
start_program
drive wait-window 20000 >/dev/null
sleep 0.5
drive post 205 1 >/dev/null
check "'Si&mulate...' of a job ends with its log in the log index" poll 20 run_logged Alpha
# The index line comes when the log begins; its records are complete when the run ends.
check "the simulation's log reports the copies it would make" poll 20 grep -qs 'file3\.txt' "$case_dir"/logs/Alpha*.txt
check "the simulation copied nothing" files_reach "$case_dir/Alpha/R" 0
if open_tray_menu; then
  # "&Jobs", then Alpha (after "&Configure..." and the separator), its submenu, "&Start now".
  drive menu-keys down return down right return >/dev/null
fi
check "'&Start now' from the menu runs the job (every file copied)" poll 20 files_reach "$case_dir/Alpha/R" 3
stop_program

# --- a job named on the command line, a start task, and both again after a restore -------

new_case start-up
make_job Alpha 2
make_job Beta 3
write_settings US "1=Alpha;JOB:Alpha" "2=Beta;JOB:Beta"
printf '\r\n[Task]\r\n1=Beta;so\r\n' >> "$case_dir/CRVL.INI"
cp "$case_dir/CRVL.INI" "$case_dir/saved.INI"
start_program Alpha
first_window=$(drive wait-window 20000 | tr -d '\r')
check "the job named on the command line runs when the program starts" poll 20 files_reach "$case_dir/Alpha/R" 2
check "a start task of the settings runs when the program starts" poll 20 files_reach "$case_dir/Beta/R" 3
poll 20 run_logged Alpha && poll 20 run_logged Beta
rm -f "$case_dir"/Alpha/R/* "$case_dir"/Beta/R/*
drive post 222 >/dev/null
check "'&Restore Settings...' asks for a file" drive file-dialog "$(winpath "$case_dir/saved.INI")"
restarted() { local w; w=$(drive wait-window 500 | tr -d '\r'); [ -n "$w" ] && [ "$w" != "$first_window" ]; }
check "the program starts again after the restore" poll 20 restarted
check "after the restart the job of the command line runs again" poll 20 files_reach "$case_dir/Alpha/R" 2
check "after the restart the start task runs again" poll 20 files_reach "$case_dir/Beta/R" 3
stop_program

# --- a second instance with a job name; WM_COPYDATA with ANSI text -----------------------

new_case by-name
make_job Beta 4
make_job Gamma 2
write_settings US "1=Beta;JOB:Beta" "2=Gamma;JOB:Gamma"
start_program
drive wait-window 20000 >/dev/null
started=$(date +%s%N)
wine "$case_dir/CRVL.exe" "Beta" >/dev/null 2>&1
second=$?
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
check "a second start with a job name exits 0 (got $second)" [ "$second" -eq 0 ]
check "a second start with a job name ends at once (${elapsed_ms} ms)" between "$elapsed_ms" 0 5000
check "a second start with a job name runs it in the first instance" poll 20 files_reach "$case_dir/Beta/R" 4
answer=$(drive copydata 0 "gamma" | tr -d '\r')
check "WM_COPYDATA with ANSI text is answered with 0" [ "$answer" = "0" ]
check "WM_COPYDATA with ANSI text starts the job (names compare without regard to case)" \
  poll 20 files_reach "$case_dir/Gamma/R" 2
stop_program

# --- St&op of one job, of another job and of all, and St&op while idle ---------------------

new_case stop
make_job Long "$long_files" 1
make_job Other 1
write_settings US "1=Long;JOB:Long" "2=Other;JOB:Other"
export CRVL_MENU_TRACE="$(winpath "$case_dir/trace.txt")"
start_program
unset CRVL_MENU_TRACE
drive wait-window 20000 >/dev/null
sleep 0.5
shot_tray "$case_dir/idle.png"
drive send 102 >/dev/null
check "WM_COMMAND 102 sent while idle is dropped" grep -qx 'dropped 102' <(tr -d '\r' < "$case_dir/trace.txt")
target="$case_dir/Long/R"
drive post 201 1 >/dev/null
check "the busy icon shows while the job runs" poll 10 tray_is_not "$case_dir/idle.png"
poll 20 files_above "$target" 0
drive send 202 2 >/dev/null
copied=$(count_files "$target")
check "St&op of another job leaves the run going" poll 5 files_above "$target" "$copied"
drive send 202 1 >/dev/null
check "St&op of the job ends its run (the icon turns idle)" poll 30 tray_is "$case_dir/idle.png"
first=$(count_files "$target")
check "St&op of the job stopped it early ($first of $long_files files copied)" [ "$first" -lt "$long_files" ]
check "the program stays open after St&op" window_exists
# St&op does not close the program: the job starts again, and St&op of the tray menu
# (command 102, enabled now) ends the new run.
drive post 201 1 >/dev/null
check "the job starts again after St&op" poll 20 files_above "$target" "$first"
drive send 102 >/dev/null
check "St&op of the tray menu ends the run (the icon turns idle)" poll 30 tray_is "$case_dir/idle.png"
second=$(count_files "$target")
check "St&op of the tray menu stopped it early ($second of $long_files files copied)" \
  [ "$second" -lt "$long_files" ]
check "WM_COMMAND 102 during a run is carried out, not dropped" \
  [ "$(grep -c '^dropped' <(tr -d '\r' < "$case_dir/trace.txt"))" -eq 1 ]
check "the program stays open after St&op of the tray menu" window_exists
stop_program
rm -rf "$case_dir/Long"

# --- a long run: the busy icon, the job's menu while it runs, closing during it ----------

new_case long-run
make_job Long "$long_files" 1
write_settings US "1=Long;JOB:Long"
export CRVL_MENU_TRACE="$(winpath "$case_dir/menu.txt")"
start_program
unset CRVL_MENU_TRACE
drive wait-window 20000 >/dev/null
sleep 0.5
shot_tray "$case_dir/idle.png"
target="$case_dir/Long/R"
drive post 201 1 >/dev/null
check "the busy icon shows while a run is in progress" poll 10 tray_is_not "$case_dir/idle.png"
cp "$case_dir/now.png" "$shots/tray-icon-busy.png"
poll 20 files_above "$target" 0
if open_tray_menu; then
  shot_menus "tray-menu-running-US.png"   # St&op enabled
  drive menu-keys down return down right >/dev/null
  sleep 0.3
  shot_menus "job-menu-running-US.png"
  close_menus
fi
tr -d '\r' < "$case_dir/menu.txt" > "$case_dir/menu-running.txt"
check "a running job's menu offers St&op" grep -q '^    St&op \[27208\]$' "$case_dir/menu-running.txt"
check "a running job's menu does not offer &Start now" not grep -q '&Start now' "$case_dir/menu-running.txt"
check "St&op of the tray menu is enabled while a run is in progress" grep -q '^St&op \[102\]$' "$case_dir/menu-running.txt"
# WM_CLOSE sent (not posted): the answer comes once the window has handled it.
answer=$(drive message 0x0010 0 0 | tr -d '\r')
check "closing during a run is answered with 0 (got '$answer')" [ "$answer" = "0" ]
check "closing during a run leaves the program open" window_exists
check "the stopped run ends (the icon turns idle)" poll 30 tray_is "$case_dir/idle.png"
copied=$(count_files "$target")
check "the close stopped the run early ($copied of $long_files files copied)" [ "$copied" -lt "$long_files" ]
check "the program is still open after the run ended" window_exists
drive close >/dev/null
wait_exit "$program_pid" 20
code=$?
check "a second close ends the program with exit code 0 (got $code)" [ "$code" -eq 0 ]
[ "$code" -eq 124 ] && stop_program
rm -rf "$case_dir/Long"
