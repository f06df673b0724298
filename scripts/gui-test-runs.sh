# Part of scripts/gui-test.sh (sourced; uses its helpers): runs started from the tray
# menu, by a second instance and by WM_COPYDATA, the busy icon, and closing during a run.

# "&Start now" chosen from the menu by keys, as a person would.
new_case start-now
make_job Alpha 3
write_settings US "1=Alpha;JOB:Alpha"
start_program
drive wait-window 20000 >/dev/null
sleep 0.5
if open_tray_menu; then
  # "&Jobs", then Alpha (after "&Configure..." and the separator), its submenu, "&Start now".
  drive menu-keys down return down right return >/dev/null
fi
check "'&Start now' from the menu runs the job (every file copied)" poll 20 files_reach "$case_dir/Alpha/R" 3
stop_program

# A second instance with a job name; WM_COPYDATA with ANSI text.
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

# A long run: the busy icon, the job's menu while it runs, and closing during it.
new_case long-run
make_job Long 3000 4096
write_settings US "1=Long;JOB:Long"
export CRVL_MENU_TRACE="$(winpath "$case_dir/menu.txt")"
start_program
unset CRVL_MENU_TRACE
drive wait-window 20000 >/dev/null
sleep 0.5
shot_tray "$case_dir/idle.png"
drive post 201 1 >/dev/null
busy_seen=0
for _ in $(seq 1 50); do
  shot_tray "$case_dir/busy.png"
  if different_image "$case_dir/idle.png" "$case_dir/busy.png"; then busy_seen=1; break; fi
  sleep 0.1
done
check "the busy icon shows while a run is in progress" [ "$busy_seen" -eq 1 ]
cp "$case_dir/busy.png" "$shots/tray-icon-busy.png"
if open_tray_menu; then
  drive menu-keys down return down right >/dev/null
  sleep 0.3
  shot_menus "job-menu-running-US.png"
  close_menus
fi
tr -d '\r' < "$case_dir/menu.txt" > "$case_dir/menu-running.txt"
check "a running job's menu offers St&op" grep -q '^    St&op \[27208\]$' "$case_dir/menu-running.txt"
check "a running job's menu does not offer &Start now" not grep -q '&Start now' "$case_dir/menu-running.txt"
check "St&op of the tray menu is enabled while a run is in progress" grep -q '^St&op \[102\]$' "$case_dir/menu-running.txt"
drive close >/dev/null
sleep 1
check "closing during a run leaves the program open" kill -0 "$program_pid"
idle_again=0
for _ in $(seq 1 300); do
  shot_tray "$case_dir/after.png"
  if same_image "$case_dir/idle.png" "$case_dir/after.png"; then idle_again=1; break; fi
  sleep 0.1
done
check "the stopped run ends (the icon turns idle)" [ "$idle_again" -eq 1 ]
copied=$(count_files "$case_dir/Long/R")
check "the close stopped the run early ($copied of 3000 files copied)" [ "$copied" -lt 3000 ]
check "the program is still open after the run ended" drive wait-window 1000
drive close >/dev/null
wait_exit "$program_pid" 20
code=$?
check "a second close ends the program with exit code 0 (got $code)" [ "$code" -eq 0 ]
