# Part of scripts/gui-test.sh (sourced after gui-test-stress.sh; uses the helpers of
# gui-test.sh, gui-test-dialogs.sh and gui-test-plugins.sh): a dialog whose OK cannot
# write its file says so and stays open with the edits; a plug-in's password prompt
# that arrives while a dialog is open comes up over that dialog.
# Run on its own it only says what it is (with --help) or refuses.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  sed -n '1,/^[^#]/s/^# \{0,1\}//p' "$0"
  case "${1:-}" in -h | --help) exit 0 ;; *) exit 2 ;; esac
fi

# A file that cannot be replaced: a folder takes its place (a read-only file would not
# do, the program replaces those; under Wine as root, permission bits do not hold).
block() { mv "$1" "$1.kept" && mkdir "$1"; }
unblock() { rmdir "$1" && mv "$1.kept" "$1"; }
# A message box over the dialog that has control `owner`, naming `file`; its OK closes it.
save_error_shown() {
  local owner=$1 file=$2
  drive dlg-wait 65535 5000 >/dev/null || return 1
  message_says "$(winpath "$file")" && drive dlg-owned 65535 "$owner" >/dev/null
}
close_message_box() { drive command 1 >/dev/null; drive dlg-gone 65535 3000 >/dev/null; }

# --- the job editor: a job file that cannot be written ----------------------------------

new_case save-editor
make_job Alpha 1
write_settings US "1=Alpha;JOB:Alpha"
start_program
drive wait-window 20000 >/dev/null
cp "$case_dir/Alpha.job" "$case_dir/before.job"
if open_dialog 206 2404 1; then
  block "$case_dir/Alpha.job"
  drive lv-check 2410 12 1   # "Compare by content"
  drive press 99
  check "the editor's OK on a job file that cannot be written says so, naming the file" save_error_shown 2404 "$case_dir/Alpha.job"
  shot_dialog save-error-US.png
  check "the message gives the system's reason" message_says "denied"
  close_message_box
  check "after the message the editor is still open" drive dlg-wait 2404 1000
  check "the editor keeps the edit" is 1 lv-checked 2410 12
  unblock "$case_dir/Alpha.job"
  check "the job file is left as it was" cmp -s "$case_dir/before.job" "$case_dir/Alpha.job"
  drive click 99
  check "once the file is writable the same OK saves the edit" poll 5 eval 'grep -q "^Option=.*;b" "$case_dir/Alpha.job"'
  check "and closes the editor" drive dlg-gone 2404 3000
else
  fail "'Customi&ze...' opens the job editor"
fi
stop_program

# --- the register, the configuration and the plan: a settings file that cannot be ----
# --- read again or written -----------------------------------------------------------

new_case save-settings
make_job Alpha 1
write_settings US "1=Alpha;JOB:Alpha"
start_program
drive wait-window 20000 >/dev/null
sleep 0.5
block "$case_dir/CRVL.INI"
if open_dialog 118 3010; then
  drive click 3008   # "Add Separator"
  drive press 99
  check "the register's OK on a settings file that cannot be written says so, naming the file" save_error_shown 3010 "$case_dir/CRVL.INI"
  close_message_box
  check "after the message the register is still open with the new row" is 2 lv-count 3010
  unblock "$case_dir/CRVL.INI"
  drive click 99
  check "once the settings file is writable the same OK stores the new row" \
    poll 5 eval 'grep -q "^2=--" "$case_dir/CRVL.INI"'
  check "and closes the register" drive dlg-gone 3010 3000
else
  fail "'&Configure...' opens the register"
fi
block "$case_dir/CRVL.INI"
if open_dialog 107 5101; then
  drive set-text 5122 77
  drive press 99
  check "the configuration's OK on a settings file that cannot be written says so" save_error_shown 5101 "$case_dir/CRVL.INI"
  close_message_box
  check "after the message the configuration is still open with the edit" is 77 text 5122
  drive click 2
else
  fail "'&Configuration...' opens its dialog"
fi
if open_dialog 104 3102; then
  drive press 99
  check "the planned tasks' OK on a settings file that cannot be written says so" save_error_shown 3102 "$case_dir/CRVL.INI"
  close_message_box
  check "after the message 'Planed Tasks' is still open" drive dlg-wait 3102 1000
  drive click 2
else
  fail "'&Plan...' opens 'Planed Tasks'"
fi
unblock "$case_dir/CRVL.INI"
stop_program

# --- a plug-in's password prompt while a dialog is open ---------------------------------

stress_setup
printf 'askafter=%s\r\n' "$(winpath "$case_dir/testfs/ask")" >> "$case_dir/testfs/crvltest_both.ini"
stress_start
drive post 201 1 >/dev/null
# The run waits inside the plug-in's first listing; then the Language dialog opens.
if poll 20 grep -qs FindFirst "$case_dir/testfs/trace.txt" && open_dialog 109 91; then
  : > "$case_dir/testfs/ask"
  if drive dlg-wait 5901 15000 >/dev/null; then
    check "the prompt that arrives while the Language dialog is open is owned by it" drive dlg-owned 5901 91
    shot_dialog password-over-dialog-US.png
    import -window root "$shots/password-over-dialog-screen-US.png"
    drive set-text 5901 "open sesame"
    drive click 99
    check "after the prompt the Language dialog is still open" drive dlg-wait 91 1000
    drive click 2
    check "the run goes on with the password" poll 20 test -f "$case_dir/Remote/R/a.txt"
  else
    fail "the prompt that arrives while the Language dialog is open comes up"
  fi
else
  fail "a run waiting inside the plug-in, and the Language dialog opened meanwhile"
fi
stress_exit || stop_program
