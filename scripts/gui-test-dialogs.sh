# Part of scripts/gui-test.sh (sourced; uses its helpers): the dialogs, driven by
# control id from crvl_drive.exe, checked by the bytes they write; and a screenshot of
# every dialog in English and German.

# A value of the top dialog's control, without the CR of the console.
get() { drive "$@" | tr -d '\r'; }
is() { [ "$(get "${@:2}")" = "$1" ]; }   # is EXPECTED action args...
is_out() { [ "$("${@:2}" | tr -d "\r")" = "$1" ]; }   # is_out EXPECTED command...
# The top dialog into a screenshot.
shot_dialog() {
  local x y w h
  read -r x y w h <<< "$(get dlg-rect)"
  if [ -z "$h" ]; then fail "no dialog to capture for $1"; return 1; fi
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/$1"
}
# Opens a dialog with a command to the main window and waits for a control of it.
open_dialog() { drive post "$1" ${3:+"$3"} >/dev/null; drive dlg-wait "$2" 10000 >/dev/null; }
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
  check "after choosing German the tray menu is German" grep -qx '&Aufgaben \[119\]' <(tr -d '\r' < "$case_dir/menu.txt")
  if open_dialog 115 7021; then
    check "the next dialog is German" is "Einstellungsdatei:" text 7012
    drive click 8
  fi
else
  fail "'L&anguage...' opens its dialog"
fi
stop_program
