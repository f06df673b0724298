# Part of scripts/gui-test.sh (sourced; uses its helpers): the dialogs, driven by
# control id from crvl_drive.exe, checked by the bytes they write; and a screenshot of
# every dialog in English and German.
# Run on its own it only says what it is (with --help) or refuses.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  sed -n '1,/^[^#]/s/^# \{0,1\}//p' "$0"
  case "${1:-}" in -h | --help) exit 0 ;; *) exit 2 ;; esac
fi

# A value of the top dialog's control, without the CR of the console.
get() { drive "$@" | tr -d '\r'; }
is() { [ "$(get "${@:2}")" = "$1" ]; }   # is EXPECTED action args...
is_out() { [ "$("${@:2}" | tr -d "\r")" = "$1" ]; }   # is_out EXPECTED command...
# The top dialog into a screenshot, once a control moved or shown just before has
# painted itself.
shot_dialog() {
  local x y w h
  sleep 0.3
  read -r x y w h <<< "$(get dlg-rect)"
  if [ -z "$h" ]; then fail "no dialog to capture for $1"; return 1; fi
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/$1"
}
# Opens a dialog with a command to the main window and waits for a control of it. The
# command is sent again while it goes unanswered: the program ignores it while a run is
# in progress (a start task may still be running when a case begins). The first wait is
# long enough for a slow start, so that a second command rarely reaches a dialog that
# is already on its way.
open_dialog() {
  local wait
  for wait in 6000 2000 2000 2000 2000 2000 2000 2000; do
    drive post "$1" ${3:+"$3"} >/dev/null
    drive dlg-wait "$2" "$wait" >/dev/null && return 0
  done
  return 1
}
# The lines of a section of the case's settings file, without CR.
section() { tr -d '\r' < "$case_dir/CRVL.INI" | sed -n "/^\[$1\]/,/^\$/p" | sed '1d;/^$/d'; }
# The packed local date-time of tasks and log stamps.
packed() { echo $(( ($1 << 26) | ($2 << 22) | ($3 << 17) | ($4 << 12) | ($5 << 6) | $6 )); }
timed_items() { find "$WINEPREFIX/drive_c/windows/tasks" -iname 'Corvell*.job' 2>/dev/null; }
remove_timed_items() { timed_items | while read -r f; do rm -f "$f"; done; }

# --- "Planed Tasks", "Plan", the date chooser and the password of the export ------------

new_case tasks
remove_timed_items
make_job Alpha 1
make_job Beta 1
write_settings US "1=Alpha;JOB:Alpha" "2=Beta;JOB:Beta"
printf '\r\n[Task]\r\n1=Alpha;so;r180\r\n2=Gone;so\r\n3=Beta;tw;d%s;r34\r\n' "$(packed 2024 3 4 8 30 0)" \
  >> "$case_dir/CRVL.INI"
start_program
drive wait-window 20000 >/dev/null
if open_dialog 104 3102; then
  check "'Planed Tasks' lists the tasks whose job exists" is 2 lv-count 3102
  check "'Planed Tasks' shows the kind in 'Details'" is "Time Controlled" lv-text 3102 1 1
  check "without a selection Edit, Remove, Move Up and Move Down are disabled" \
    is_out "0000" eval 'for b in 6993 6997 6991 6992; do get enabled $b; done | tr -d "\n"; echo'
  drive lv-select 3102 0
  check "on the first row Move Up alone is disabled" \
    is_out "1101" eval 'for b in 6993 6997 6991 6992; do get enabled $b; done | tr -d "\n"; echo'
  drive lv-select 3102 1
  check "on the last row Move Down alone is disabled" \
    is_out "1110" eval 'for b in 6993 6997 6991 6992; do get enabled $b; done | tr -d "\n"; echo'
  # A tray click while the dialog is open opens no menu.
  xdotool mousemove "$icon_x" "$icon_y" click 1
  check "a tray click while 'Planed Tasks' is open opens no menu" not drive menu-wait 1500
  drive press 6990
  if drive dlg-wait 3201 5000 >/dev/null; then
    drive combo 3205 2     # "Time Controlled"
    drive combo 3213 0     # "Once"
    check "'Plan', timed once: the date shows, the delay and the weekdays do not" \
      is_out "1 0 0 1" eval 'echo $(get visible 3214) $(get visible 3206) $(get visible 3220) $(get visible 3213)'
    drive combo 3213 2     # "Weekly"
    check "'Plan', timed weekly: the weekdays show, the date does not" \
      is_out "1 0 1" eval 'echo $(get visible 3220) $(get visible 3214) $(get visible 3215)'
    drive combo 3205 0     # "Start"
    check "'Plan', at start: the delay and repeat show, the period does not" \
      is_out "1 1 0 0" eval 'echo $(get visible 3206) $(get visible 3209) $(get visible 3213) $(get visible 3215)'
    # No blank band: '&OK' follows the lowest control shown.
    read -r _ repeat_y _ repeat_h <<< "$(get rect 3209)"
    read -r _ ok_y _ _ <<< "$(get rect 99)"
    check "'Plan', at start: '&OK' sits close below 'Repeat after' (gap $((ok_y - repeat_y - repeat_h)) px)" \
      [ $((ok_y - repeat_y - repeat_h)) -lt 40 ]
    drive combo 3205 2
    drive combo 3213 0
    drive press 3219
    if drive dlg-wait 2204 5000 >/dev/null; then
      year_before=$(get text 2202)
      drive clipboard "2024-01-05 10:00"
      drive click 2215
      check "pasting '2024-01-05 10:00' changes nothing (it beeps)" is "$year_before" text 2202
      drive clipboard "20240105100000"
      drive click 2215
      check "pasting the 14 digits sets the date and time" \
        is_out "2024 0 10 00 00" eval 'echo $(get text 2202) $(get combo-get 2201 | cut -d" " -f1) $(get text 2205) $(get text 2206) $(get text 2207)'
      drive click 99
    else
      fail "the date chooser opens from 'Plan'"
    fi
    check "the date chooser's date and time reach the pickers of 'Plan'" \
      is_out "2024 1 5 10 0 0" eval 'echo $(get dtp-get 3214 | cut -d" " -f1-3) $(get dtp-get 3215 | cut -d" " -f4-6)'
    drive click 99
  else
    fail "'Add New' opens 'Plan'"
  fi
  check "the confirmed task is appended" is 3 lv-count 3102
  drive lv-select 3102 2
  drive click 6991
  check "Move Up moves the new task up one place" is "Time Controlled" lv-text 3102 1 1
  drive lv-select 3102 0
  drive click 6997
  check "Remove deletes the selected task without asking" is 2 lv-count 3102
  drive press 99
  # The list is saved, then the timed tasks go to the system's scheduler, which asks
  # the account's password.
  if drive dlg-wait 5901 10000 >/dev/null; then
    check "'&OK' stores the list in section Task" \
      is_out "1=Alpha;to;d$(packed 2024 1 5 10 0 0)|2=Beta;tw;d$(packed 2024 3 4 8 30 0);r34" \
      eval 'section Task | paste -sd"|"'
    shot_dialog password-US.png
    check "the password dialog offers '&OK' only with text (empty)" is 0 enabled 99
    drive set-text 5901 "secret"
    check "the password dialog offers '&OK' only with text (typed)" is 1 enabled 99
    check "'Show password' starts unchecked with bit 3 of Opt clear" is 0 checked 5903
    drive click 5903
    check "'Show password' shows the text in clear" is 1 checked 5903
    drive set-text 5901 ""
    check "an emptied field disables '&OK' again" is 0 enabled 99
    drive set-text 5901 "secret"
    drive click 99
    check "the confirmed list is exported: one scheduler item per timed task" poll 10 eval '[ "$(timed_items | wc -l)" -eq 2 ]'
  else
    fail "the export asks the account's password"
  fi
else
  fail "'&Plan...' opens 'Planed Tasks'"
fi
stop_program
check "'Show password' is kept as bit 3 of Opt" grep -q $'^Opt=8\r$' "$case_dir/CRVL.INI"
remove_timed_items

# --- the console's export asks for the account's password ----------------------------

new_case console-export
remove_timed_items
make_job Alpha 1
write_settings US "1=Alpha;JOB:Alpha"
printf '\r\n[Task]\r\n1=Alpha;to;d%s\r\n' "$(packed 2030 3 4 8 30 0)" >> "$case_dir/CRVL.INI"
cp "$build/crvlc.exe" "$case_dir/"
wine "$case_dir/crvlc.exe" --settings "$(winpath "$case_dir/CRVL.INI")" tasks export </dev/null >"$case_dir/out.txt" 2>&1
check "'crvlc tasks export' asks for the password of the account the tasks run as" \
  grep -q '^crvl: Password for: .* (the account the timed tasks run as); give it with --password-stdin' \
  <(tr -d '\r' < "$case_dir/out.txt")
check "'crvlc tasks export' does not take the account's password for a plug-in's" \
  not grep -q 'file-system plug-in' "$case_dir/out.txt"
remove_timed_items

# --- while a run is in progress the dialog commands are ignored ----------------------

new_case busy
make_job Busy 3000 1
write_settings US "1=Busy;JOB:Busy"
start_program
drive wait-window 20000 >/dev/null
drive post 201 1 >/dev/null
copying() { local n; n=$(count_files "$case_dir/Busy/R"); [ "$n" -gt 0 ] && [ "$n" -lt 3000 ]; }
if poll 20 copying; then
  for command in "118" "103" "104" "107" "206 1"; do
    drive post $command >/dev/null
  done
  check "while a run is in progress '&Configure...', the logs, the plan, the configuration and the editor stay shut" \
    not drive dlg-wait -1 1500
  drive post 102 >/dev/null
else
  fail "a long run to try the dialog commands on"
fi
stop_program

# --- "Logs": newest first, "Remove" after the question -------------------------------

new_case logs
write_settings US
mkdir -p "$case_dir/logs"
log_line() {  # job name, packed stamp, file name (created unless "missing")
  [ "${4:-}" = missing ] || printf 'log of %s\r\n' "$1" > "$case_dir/logs/$3"
  printf '%s;0;%s;%s\r\n' "$1" "$2" "$(winpath "$case_dir/logs/$3")" >> "$case_dir/logs/Log.txt"
}
log_line Old "$(packed 2024 1 1 8 0 0)" old.txt
log_line Lost "$(packed 2024 1 2 8 0 0)" lost.txt missing
log_line New "$(packed 2024 1 3 8 0 0)" new.txt
start_program
drive wait-window 20000 >/dev/null
if open_dialog 103 3305; then
  check "'Logs' lists the logs whose file exists" is 2 lv-count 3305
  check "'Logs' shows the tooltips of 'View' and 'Remove'" is 2 tool-count
  # The caption's icon as the screen shows it (Wine answers WM_GETICON of another
  # process with nothing): the middle of the program's icon, not Wine's default glass
  # (of 144 pixels about 120 differ from it, against some 15 for the caption active or not).
  shot_dialog logs-caption.png
  caption_icon_matches() {
    convert "$shots/logs-caption.png" -crop 12x12+6+6 +repage "$case_dir/caption.png" &&
      [ "$(compare -metric AE -fuzz 15% "$case_dir/caption.png" "$root/scripts/gui-test-data/caption-icon.png" null: 2>&1)" -lt 40 ]
  }
  check "'Logs', a resizable dialog, carries the program's icon" caption_icon_matches
  check "'Logs' shows every 'Log file' whole" is 1 lv-fits 3305 2
  check "'Logs' lists the newest first" is_out "New Old" eval 'echo $(get lv-text 3305 0 0) $(get lv-text 3305 1 0)'
  check "a log whose file is gone is dropped from the index" not grep -q '^Lost;' "$case_dir/logs/Log.txt"
  drive lv-select 3305 0
  drive press 6997
  if drive dlg-wait 65535 5000 >/dev/null; then
    check "'Remove' asks text 7001" is "Are you sure you want to remove the selected log?" text 65535
    drive command 6   # "Yes"
  else
    fail "'Remove' asks before removing"
  fi
  check "'Remove' deletes the log file" poll 5 not test -f "$case_dir/logs/new.txt"
  check "'Remove' removes the row" is 1 lv-count 3305
  check "'Remove' removes the index line" \
    is_out "Old" eval "tr -d '\r' < '$case_dir/logs/Log.txt' | cut -d';' -f1 | paste -sd' '"
  check "the other log stays" test -f "$case_dir/logs/old.txt"
  drive key escape
  check "Escape closes 'Logs'" drive dlg-gone 3305 3000
else
  fail "'View &Log...' opens 'Logs'"
fi
stop_program

# --- the language dialog and the product information ---------------------------------

new_case language
write_settings US
export CRVL_MENU_TRACE="$(winpath "$case_dir/menu.txt")"
start_program
unset CRVL_MENU_TRACE
drive wait-window 20000 >/dev/null
if open_dialog 115 7021; then
  check "the product information names version 24.08" eval 'get text 7020 | grep -q "24\.08"'
  check "the product information shows the settings file in use" is "$(winpath "$case_dir/CRVL.INI")" text 7021
  drive key return
  check "Enter closes the product information" drive dlg-gone 7021 3000
else
  fail "'&Product Information...' opens its dialog"
fi
if open_dialog 109 91; then
  drive lb 91 1
  drive click 99
  check "the language dialog stores Language=DE" poll 5 grep -q $'^Language=DE\r$' "$case_dir/CRVL.INI"
  if open_tray_menu; then close_menus; fi
  check "after choosing German the tray menu is German" grep -qx 'A&ufgaben \[119\]' <(tr -d '\r' < "$case_dir/menu.txt")
  if open_dialog 115 7021; then
    check "the next dialog is German" is "Einstellungsdatei:" text 7012
    drive click 8
  fi
else
  fail "'L&anguage...' opens its dialog"
fi
stop_program

# --- the job register ("&Configure..."): group rules, moves, a new menu -----------------

new_case empty-register
write_settings US "1=--"
start_program
drive wait-window 20000 >/dev/null
check "with no job in the register, the program opens '&Configure...' at start" eval 'drive dlg-wait 3010 10000 >/dev/null'
drive click 2 >/dev/null
stop_program

new_case register
for job in Alpha Beta Gamma; do make_job "$job" 1; done
write_settings US "1=-Backup" "2=Alpha;JOB:Alpha" "3=-" "4=--" "5=Beta;JOB:Beta" "6=Gamma;JOB:Gamma"
start_program
drive wait-window 20000 >/dev/null
if open_dialog 118 3010; then
  check "the register lists every row" is 6 lv-count 3010
  check "rows inside a group are indented" is "   Alpha" lv-text 3010 1 0
  drive lv-select 3010 2
  check "a group end alone cannot be removed (Remove disabled)" is 0 enabled 6997
  drive command 6997
  check "a group end alone cannot be removed (the command does nothing)" is 6 lv-count 3010
  drive lv-select 3010 0
  drive click 6997
  check "removing a group start removes its end and keeps its rows" \
    is_out "Alpha|----------|Beta|Gamma" eval 'for r in 0 1 2 3; do get lv-text 3010 $r 0; done | paste -sd"|"'
  drive lv-select 3010 0
  drive click 6991
  check "Move Up at the first place leaves the row (it beeps)" is "Alpha" lv-text 3010 0 0
  drive click 6992
  check "Move Down moves a job one place" is "Alpha" lv-text 3010 1 0
  drive lv-select 3010 3
  drive click 6991
  check "Move Up moves a job one place" is "Gamma" lv-text 3010 2 0
  drive click 3007
  drive key escape   # ends the renaming that "Add Menu" starts
  check "Add Menu inserts a group start and its end after the selection" \
    is_out "Untitled|-" eval 'echo "$(get lv-text 3010 3 0)|$(get lv-text 3010 4 0)"'
  drive click 99
  check "'&OK' writes the register in list order" \
    is_out "1=--|2=Alpha|3=Gamma|4=-Untitled|5=-|6=Beta" eval 'section Job | cut -d";" -f1 | paste -sd"|"'
else
  fail "'&Configure...' opens the register"
fi
stop_program

# Another process changes the register while the dialog is open: '&OK' keeps both the
# dialog's edit and the other's change (real processes: the console's "job new").
new_case register-merge
for job in Alpha Beta; do make_job "$job" 1; done
mkdir -p "$case_dir/Gamma/L" "$case_dir/Gamma/R"
write_settings US "1=Alpha;JOB:Alpha" "2=Beta;JOB:Beta"
cp "$build/crvlc.exe" "$case_dir/"
start_program
drive wait-window 20000 >/dev/null
if open_dialog 118 3010; then
  drive lv-select 3010 0
  drive click 6997
  check "the register dialog removes Alpha from its list" is 1 lv-count 3010
  check "'crvlc job new' writes the register while the dialog is open" \
    wine "$case_dir/crvlc.exe" --settings "$(winpath "$case_dir/CRVL.INI")" job new Gamma \
    "$(winpath "$case_dir/Gamma/L")" "$(winpath "$case_dir/Gamma/R")" >/dev/null 2>&1
  check "the register then holds Gamma" eval 'section Job | grep -q "^3=Gamma;"'
  drive click 99
  check "'&OK' keeps the dialog's removal and the job added meanwhile" \
    is_out "1=Beta|2=Gamma" eval 'section Job | cut -d";" -f1 | paste -sd"|"'
else
  fail "'&Configure...' opens the register"
fi
stop_program

# --- the job editor: mode and options, the filter through the job file, Cancel --------

option_line() { tr -d '\r' < "$case_dir/Alpha.job" | grep '^Option='; }
new_case editor
make_job Alpha 1
write_settings US "1=Alpha;JOB:Alpha"
start_program
drive wait-window 20000 >/dev/null
if open_dialog 206 2404 1; then
  check "the editor shows a Mirror job as 'Mirror'" is "1 Mirror" combo-get 2408
  drive lv-check 2410 12 1   # "Compare by content"
  check "checking 'Compare by content' keeps 'Mirror'" is "1 Mirror" combo-get 2408
  drive lv-check 2410 8 0    # "Copy conflict files to the right side"
  check "unchecking 'Copy conflict files to the right side' shows 'User defined'" is "0 User defined" combo-get 2408
  drive click 99
  check "'&OK' writes the options to the job file" poll 5 is_out "Option=0;+>;=>;->;_>;!=;d;d+;b" option_line
else
  fail "'Customi&ze...' opens the job editor"
fi
if open_dialog 206 2404 1; then
  drive lv-check 2410 13 1   # "Ignore date"
  drive combo 2408 2         # "Augment"
  check "'Augment' keeps 'Ignore date' checked" is 1 lv-checked 2410 13
  check "'Augment' clears the delete options" \
    is_out "0000" eval 'for r in 4 5 6 7; do get lv-checked 2410 $r; done | tr -d "\n"; echo'
  drive click 99
  check "the job file holds Augment with 'Ignore date' and 'Compare by content'" poll 5 is_out "Option=0;+>;d;d+;b;nd" option_line
fi
# The filter fields go into the job file and come back.
if open_dialog 206 2404 1; then
  drive click 2412
  drive set-text 2304 "*.txt;*.doc"
  drive set-text 2306 "~*"
  drive click 2316
  drive combo 2317 5         # "Days"
  drive set-text 2321 7
  drive click 2324
  drive combo 2325 0         # "Date"
  drive dtp-set 2326 2024 1 5 10 0 0
  drive dtp-set 2327 2024 1 5 10 0 0
  drive click 2343
  drive set-text 2344 10
  drive combo 2345 1         # "KB"
  drive click 2351           # "&Read only"
  read_only=$(get checked 2351)
  shot_dialog job-editor-filter-US.png
  drive click 99
  check "the filter is stored in the job file" poll 5 eval 'tr -d "\r" < "$case_dir/Alpha.job" | grep -q "^Filter=.\+"'
  check "the filter switch is stored" eval 'option_line | grep -q "^Option=1;"'
fi
if open_dialog 206 2404 1; then
  check "the filter switch comes back" is 1 checked 2412
  check "the masks come back" is_out "*.txt;*.doc|~*" eval 'echo "$(get text 2304)|$(get text 2306)"'
  check "the lower time bound comes back (7 days)" is_out "1|5|7" eval 'echo "$(get checked 2316)|$(get combo-get 2317 | cut -d" " -f1)|$(get text 2321)"'
  upper="$(get checked 2324)|$(get combo-get 2325 | cut -d" " -f1)|$(get dtp-get 2326 | cut -d" " -f1-3) $(get dtp-get 2327 | cut -d" " -f4-5)"
  check "the upper time bound comes back (a date; got '$upper')" [ "$upper" = "1|0|2024 1 5 10 0" ]
  check "the size bound comes back (10 KB)" is_out "1|10|1" eval 'echo "$(get checked 2343)|$(get text 2344)|$(get combo-get 2345 | cut -d" " -f1)"'
  check "the attribute box comes back" is "$read_only" checked 2351
  check "the bound labels follow the units" is_out "Within the last|<=" eval 'echo "$(get text 2316)|$(get text 2324)"'
  drive click 2
fi
# Editing folders and then Cancel leaves the job file as it was.
cp "$case_dir/Alpha.job" "$case_dir/before.job"
if open_dialog 206 2404 1; then
  drive tb-press 2403 6990
  if drive dlg-wait 2503 5000 >/dev/null; then
    drive set-text 2503 "$(winpath "$case_dir/Alpha/L")"
    drive set-text 2504 "$(winpath "$case_dir/Alpha/R2")"
    shot_dialog folder-pair-US.png
    drive click 99
  else
    fail "'Add New' opens the folder-pair dialog"
  fi
  check "'Add New' appends a folder row" is 2 lv-count 2404
  drive lv-dblclick 2404 0
  drive click 2
  check "Cancel after editing folders leaves the job file byte for byte" cmp -s "$case_dir/before.job" "$case_dir/Alpha.job"
fi
if open_dialog 206 2404 1; then
  drive lv-dblclick 2404 0
  drive click 99
  check "a double click toggles a row to excluded" poll 5 eval 'tr -d "\r" < "$case_dir/Alpha.job" | grep -q "^1=-"'
fi
if open_dialog 206 2404 1; then
  drive lv-dblclick 2404 0
  drive click 99
  check "a second double click includes it again" poll 5 eval 'tr -d "\r" < "$case_dir/Alpha.job" | grep -q "^1=+"'
fi
# The folder commands are a tool bar: its buttons follow the selection, show tips and
# are reached by the keyboard (Tab to it, the arrows between its buttons, Enter).
if open_dialog 206 2404 1; then
  check "the editor's folder commands are the six buttons of a tool bar" is 6 tb-count 2403
  check "the tool bar's tips come from the language library" is "Exclude folders" tb-tip 2403 2411
  drive lv-select 2404 0
  check "on the only row Edit, Exclude folders and Remove are enabled, Move Up and Move Down not" \
    is_out "11100" eval 'for b in 6993 2411 6997 6991 6992; do get tb-enabled 2403 $b; done | tr -d "\n"; echo'
  check "a disabled tool bar button cannot be pressed" not drive tb-click 2403 6991
  drive focus 2404
  drive key tab
  drive key right
  drive key return
  if drive dlg-wait 2503 5000 >/dev/null; then
    check "Tab from the folders to the tool bar, Right and Enter press 'Edit' (the row's pair opens)" \
      is "$(winpath "$case_dir/Alpha/L")" text 2503
    drive click 2
  else
    fail "Tab from the folders to the tool bar, Right and Enter press 'Edit'"
  fi
  drive tb-click 2403 6997
  check "the tool bar's Remove removes the row" is 0 lv-count 2404
  check "without a row the tool bar's Edit is disabled" is 0 tb-enabled 2403 6993
  drive click 2
fi
stop_program

# --- the configuration: options, delay, the log controls -----------------------------

new_case configuration
write_settings US
sed -i '/^Log=/d' "$case_dir/CRVL.INI"
start_program
drive wait-window 20000 >/dev/null
if open_dialog 107 5101; then
  check "an empty Log shows the default log folder" eval 'get text 5222 | grep -q "CRVL\\\\Log$"'
  drive set-text 5122 90000
  drive click 5221
  check "unchecking 'Log to folder:' disables the log controls" \
    is_out "0 0 0" eval 'echo $(get enabled 5222) $(get enabled 5223) $(get enabled 5225)'
  drive click 5221
  check "checking it enables them again" is_out "1 1 1" eval 'echo $(get enabled 5222) $(get enabled 5223) $(get enabled 5225)'
  drive click 5221
  drive combo 5225 2
  drive click 5202
  drive click 99
  check "'&OK' stores Delay 90000 as 0" grep -q $'^Delay=0\r$' "$case_dir/CRVL.INI"
  check "'&OK' stores the option bits (no menu icons, no logs)" grep -q $'^Opt=6\r$' "$case_dir/CRVL.INI"
  check "the default log folder is not written into the settings" grep -q $'^Log=\r$' "$case_dir/CRVL.INI"
else
  fail "'&Configuration...' opens its dialog"
fi
stop_program
check "the log format chosen is stored at the end (ExpMode=3)" grep -q $'^ExpMode=3\r$' "$case_dir/CRVL.INI"

# --- every dialog in English and German --------------------------------------------

dialog_tour() {
  local language=$1
  new_case "tour-$language${shot_suffix:-}"
  make_job Alpha 1
  make_job Beta 1
  write_settings "$language" "1=-Backup" "2=Alpha;JOB:Alpha" "3=-" "4=--" "5=Beta;JOB:Beta"
  printf '\r\n[Task]\r\n1=Alpha;so;d60;r3600\r\n2=Beta;tw;d%s;r34\r\n' "$(packed 2024 3 4 8 30 0)" >> "$case_dir/CRVL.INI"
  printf '\r\n[pgnFS]\r\n1=Archive;+..\\plugins\\archive.wfx64;level=9\r\n2=FTP;-..\\plugins\\ftp.uwfx;\r\n' >> "$case_dir/CRVL.INI"
  mkdir -p "$case_dir/logs"
  log_line Alpha "$(packed 2024 1 1 8 0 0)" a.txt
  log_line Beta "$(packed 2024 1 3 9 15 0)" b.txt
  start_program
  drive wait-window 20000 >/dev/null
  local taken=0
  snap() { shot_dialog "$1-$language${shot_suffix:-}.png" && taken=$((taken + 1)); }
  if open_dialog 118 3010; then snap register; drive click 2; fi
  if open_dialog 206 2404 2; then
    snap job-editor
    drive click 2412
    drive click 2324
    drive lv-select 2404 0
    snap job-editor-filter-on
    check "[$language${shot_suffix:-}] the editor's tool bar tips are the language's" \
      is "$([ "$language" = DE ] && echo "Ordner ausschließen" || echo "Exclude folders")" tb-tip 2403 2411
    drive tb-press 2403 6993
    if drive dlg-wait 2503 5000 >/dev/null; then snap folder-pair; drive click 2; fi
    drive press 2320
    if drive dlg-wait 2204 5000 >/dev/null; then snap date-chooser; drive click 2; fi
    drive click 2
  fi
  if open_dialog 104 3102; then
    snap planned-tasks
    drive lv-dblclick 3102 0
    if drive dlg-wait 3201 5000 >/dev/null; then snap plan-start; drive click 2; fi
    drive lv-dblclick 3102 1
    if drive dlg-wait 3201 5000 >/dev/null; then
      snap plan-weekly
      drive combo 3213 0
      snap plan-once
      drive click 2
    fi
    drive press 99
    if drive dlg-wait 5901 10000 >/dev/null; then snap password; drive click 2; fi
  fi
  if open_dialog 103 3305; then snap logs; drive click 8; fi
  if open_dialog 107 5101; then
    snap configuration
    drive tab 5101 1
    snap configuration-plugins
    drive lv-dblclick 5501 0
    if drive dlg-wait 5532 5000 >/dev/null; then snap plugin-entry; drive click 2; fi
    drive press 5540
    if drive dlg-wait 5570 5000 >/dev/null; then
      snap sftp-connections
      drive press 5542
      if drive dlg-wait 5571 5000 >/dev/null; then snap sftp-connection; drive click 2; fi
      drive click 2
    fi
    drive click 2
  fi
  if open_dialog 109 91; then snap language; drive click 2; fi
  if open_dialog 115 7021; then snap product-information; drive click 8; fi
  check "[$language] a screenshot of every dialog ($taken)" [ "$taken" -eq 18 ]
  stop_program
}
dialog_tour US
dialog_tour DE

