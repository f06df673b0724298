# Part of scripts/gui-test.sh (sourced after gui-test-dialogs.sh; uses the helpers of
# both): the "File System Plugins" page of the configuration and its entry dialog,
# checked by the bytes they write; a plug-in's password request during a run, answered
# in the password dialog.
# Run on its own it only says what it is (with --help) or refuses.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  sed -n '1,/^[^#]/s/^# \{0,1\}//p' "$0"
  case "${1:-}" in -h | --help) exit 0 ;; *) exit 2 ;; esac
fi

testplugins="$build/testplugins"

# The case's copies of the test modules, and a module that is no module at all.
copy_modules() {
  mkdir -p "$case_dir/plugins"
  cp "$testplugins/crvltest_both.wfx64" "$testplugins/crvltest_wide.uwfx" "$case_dir/plugins/"
  printf 'not a module' > "$case_dir/plugins/broken.wfx"
}
# A case NAME whose job Remote mirrors the folder Remote/L (one file, a.txt) to the test
# plug-in's root Remote/R; the module asks for the password "open sesame" and writes its
# trace to testfs/trace.txt. EXTRA is appended to the settings after the plug-in list.
remote_case() {  # NAME [EXTRA]
  new_case "$1"
  copy_modules
  mkdir -p "$case_dir/Remote/L" "$case_dir/Remote/R" "$case_dir/testfs"
  printf 'one' > "$case_dir/Remote/L/a.txt"
  printf '[testfs]\r\nroot=%s\r\npassword=open sesame\r\ntrace=%s\r\n' "$(winpath "$case_dir/Remote/R")" \
    "$(winpath "$case_dir/testfs/trace.txt")" > "$case_dir/testfs/crvltest_both.ini"
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;\\\\\\Remote\\\r\n' \
    "$(winpath "$case_dir/Remote/L")" > "$case_dir/Remote.job"
  write_settings US "1=Remote;JOB:Remote"
  printf '\r\n[pgnFS]\r\n1=Remote;+%s;\r\n%s' "$(winpath "$case_dir/plugins/crvltest_both.wfx64")" "${2:-}" >> "$case_dir/CRVL.INI"
}
# Whether the top dialog's static text (a message box's, id 0xFFFF) holds `text`.
message_says() { get text 65535 | grep -qF "$1"; }
# The rows of the page as "checked|name|module|parameters", one a line.
page_rows() {
  local n i
  n=$(get lv-count 5501)
  for ((i = 0; i < n; i++)); do
    echo "$(get lv-checked 5501 $i)|$(get lv-text 5501 $i 0)|$(get lv-text 5501 $i 1)|$(get lv-text 5501 $i 2)"
  done
}
buttons_enabled() { echo $(get enabled 6993) $(get enabled 6995) $(get enabled 6997) $(get enabled 6991) $(get enabled 6992); }

# --- the page: rows from both stored forms, the toolbar, the entry dialog --------------

new_case plugins
copy_modules
write_settings US
printf '\r\n[pgnFS]\r\n1=Alpha;+..\\plugins\\a.wfx;first\r\nRemote=-Z:\\nowhere\\remote.wfx*with parameters\r\n' \
  >> "$case_dir/CRVL.INI"
start_program
drive wait-window 20000 >/dev/null
if open_dialog 107 5101; then
  drive tab 5101 1
  check "the second tab shows the plug-in list and hides the general options" \
    is_out "1 0" eval 'echo $(get visible 5501) $(get visible 5201)'
  check "the rows come from both stored forms (a leading '..' is the program's folder), the check box is the enabled flag" \
    is_out "$(printf '1|Alpha|%%MY_PATH%%\\plugins\\a.wfx|first\n0|Remote|Z:\\nowhere\\remote.wfx|with parameters')" page_rows
  check "without a selection only 'Add New' is offered" is_out "0 0 0 0 0" buttons_enabled
  drive lv-select 5501 0
  check "the first row selected: all but 'Move Up'" is_out "1 1 1 0 1" buttons_enabled
  drive lv-select 5501 1
  check "the last row selected: all but 'Move Down'" is_out "1 1 1 1 0" buttons_enabled
  drive click 6995
  # The rows are read again for a moment: a read may meet the list while it is refilled.
  check "'Duplicate' inserts a copy at the selected row" \
    poll 2 is_out "$(printf '1|Alpha|%%MY_PATH%%\\plugins\\a.wfx|first\n0|Remote|Z:\\nowhere\\remote.wfx|with parameters\n0|Remote|Z:\\nowhere\\remote.wfx|with parameters')" page_rows
  check "the selected row moves down with it" is_out "2" get lv-selected 5501
  drive click 6997
  check "'Remove' takes the selected row at once" is 2 lv-count 5501
  check "nothing is selected after 'Remove'" is_out "0 0 0 0 0" buttons_enabled
  drive lv-select 5501 0
  drive click 6992
  check "'Move Down' swaps the row with the next one" \
    is_out "Remote Alpha" eval 'echo $(get lv-text 5501 0 0) $(get lv-text 5501 1 0)'

  # "Add New": the file dialog opens at once; a file that is no module is reported.
  drive press 6990
  title=$(get dlg-wait 5532 5000)
  if [ -n "$title" ]; then
    check "a new entry is titled 'Add Entry' (with the titles' leading space)" [ "$title" = " Add Entry" ]
    drive file-dialog "$(winpath "$case_dir/plugins/broken.wfx")" 10000
    if drive dlg-wait 65535 10000 >/dev/null; then
      check "a file that is no module: 'The plugin could not be loaded.'" message_says "The plugin could not be loaded."
      check "... followed by the module's file name" message_says "broken.wfx"
      check "... in an error box with the program's title" is Corvell dlg-title
      drive click 1
    else
      fail "a file that is no module is reported"
    fi
    drive dlg-wait 5532 5000 >/dev/null
    check "the path goes into the field, the name stays empty" \
      is_out "$(winpath "$case_dir/plugins/broken.wfx")|" eval 'echo "$(get text 5534)|$(get text 5532)"'
    drive press 5535
    drive file-dialog "$(winpath "$case_dir/plugins/crvltest_wide.uwfx")" 10000
    check "a module that loads gives its default name" poll 10 is TestFS text 5532
    drive set-text 5538 "p;q"
    shot_dialog plugin-entry-add-US.png
    drive click 99
  else
    fail "'Add New' opens the entry dialog"
  fi
  check "the new entry is appended, enabled, with the module in its macro form" \
    is_out '1|TestFS|%MY_PATH%\plugins\crvltest_wide.uwfx|p;q' eval 'page_rows | tail -n 1'
  check "the new row is selected" is 2 lv-selected 5501

  # "Edit" (a double click): the module path is shown expanded; Cancel keeps the row.
  drive lv-dblclick 5501 2
  title=$(get dlg-wait 5532 5000)
  if [ -n "$title" ]; then
    check "an entry with a module is titled 'Edit Entry'" [ "$title" = " Edit Entry" ]
    check "the module path is shown with its macro expanded" is "$(winpath "$case_dir/plugins/crvltest_wide.uwfx")" text 5534
    drive set-text 5532 "Changed"
    drive click 2
  else
    fail "a double click opens the entry dialog"
  fi
  check "Cancel of the entry dialog leaves the row" is TestFS lv-text 5501 2 0
  drive lv-select 5501 1
  drive press 6993
  if drive dlg-wait 5532 5000 >/dev/null; then
    drive set-text 5532 "Beta"
    drive click 99
  fi
  check "'Edit' with OK gives the row the new name" is Beta lv-text 5501 1 0

  # The context menu inverts, clears and sets every check box.
  drive context 5501
  if drive menu-wait 5000 >/dev/null; then
    drive menu-keys down*3 return >/dev/null
    drive menu-gone 3000 >/dev/null
    check "'Invert selection' inverts every check box" \
      is_out "1 0 0" eval 'echo $(get lv-checked 5501 0) $(get lv-checked 5501 1) $(get lv-checked 5501 2)'
  else
    fail "the list offers a context menu"
  fi
  drive lv-check 5501 2 1
  cp "$case_dir/CRVL.INI" "$case_dir/before.ini"
  drive click 99
  check "'&OK' replaces the section by the rows, in order, '-' for unchecked ones" is_out \
    "$(printf '%s\n' '1=Remote;+Z:\nowhere\remote.wfx;with parameters' '2=Beta;-%MY_PATH%\plugins\a.wfx;first' \
      '3=TestFS;+%MY_PATH%\plugins\crvltest_wide.uwfx;"p;q"')" section pgnFS
else
  fail "'&Configuration...' opens its dialog"
fi
# Cancel drops every change of the page.
cp "$case_dir/CRVL.INI" "$case_dir/before.ini"
if open_dialog 107 5501; then
  drive tab 5101 1
  drive lv-select 5501 0
  drive click 6997
  drive lv-check 5501 0 0
  drive click 2
  check "Cancel of the configuration leaves the settings byte for byte" cmp -s "$case_dir/before.ini" "$case_dir/CRVL.INI"
fi
stop_program

# --- the SFTP connections dialog: a host key read from a real server, OK writes sftp.ini

sftp_ini() { find "$WINEPREFIX/drive_c/users" -ipath '*/AppData/Roaming/Halberic/sftp.ini' 2>/dev/null | head -1; }
new_case sftp-connections
rm -f "$(sftp_ini)"
ssh-keygen -q -t ed25519 -N '' -f "$case_dir/host_key"
fingerprint=$(ssh-keygen -lf "$case_dir/host_key.pub" | awk '{print $2}')
sftp_port=$(( 20000 + RANDOM % 20000 ))
printf 'ListenAddress 127.0.0.1\nHostKey %s\nPidFile %s\nUsePAM no\nSubsystem sftp internal-sftp\n' \
  "$case_dir/host_key" "$case_dir/sshd.pid" > "$case_dir/sshd_config"
mkdir -p /run/sshd
/usr/sbin/sshd -D -e -f "$case_dir/sshd_config" -p "$sftp_port" 2> "$case_dir/sshd.log" &
sshd_pid=$!
mkdir -p "$case_dir/plugins"
cp "$build/plugins/sftp.wfx64" "$case_dir/plugins/"
printf 'key' > "$case_dir/id_test"
write_settings US
printf '\r\n[pgnFS]\r\n1=SFTP;+..\\plugins\\sftp.wfx64;\r\n' >> "$case_dir/CRVL.INI"
connection_row() { echo "$(get lv-text 5570 "$1" 0)|$(get lv-text 5570 "$1" 1)|$(get lv-text 5570 "$1" 2)|$(get lv-text 5570 "$1" 3)"; }
start_program
drive wait-window 20000 >/dev/null
if open_dialog 107 5101; then
  drive tab 5101 1
  drive press 5540
  if drive dlg-wait 5570 5000 >/dev/null; then
    check "no connection yet, so nothing to edit or remove" is_out "0 0" eval 'echo $(get enabled 5543) $(get enabled 5544)'
    drive press 5542
    if drive dlg-wait 5571 5000 >/dev/null; then
      check "a new connection has the port 22 and a name to type" is_out "22 0" eval 'echo $(get text 5573) $(get readonly 5571)'
      drive set-text 5571 "nas"
      drive set-text 5572 "127.0.0.1"
      drive set-text 5573 "$sftp_port"
      drive set-text 5574 "alice"
      drive set-text 5575 "$(winpath "$case_dir/id_test")"
      drive press 99
      if drive dlg-wait 65535 5000 >/dev/null; then
        check "OK without a host key is refused with what to do" message_says "accept-new"
        drive click 1
      else
        fail "OK without a host key is refused"
      fi
      check "the entry dialog stays open with the fields" is alice text 5574
      drive click 5558
      check "'Read from server' fills in the server's host key" poll 20 is "$fingerprint" text 5577
      check "... and says to compare it" is_out "Compare it with 'ssh-keygen -lf' on the server before you trust it." get text 5578
      shot_dialog sftp-connection-US.png
      drive click 99
    else
      fail "'Add...' opens the connection's entry dialog"
    fi
    check "the new connection is listed" is_out "nas|alice@127.0.0.1:$sftp_port|$(winpath "$case_dir/id_test")|$fingerprint" connection_row 0
    shot_dialog sftp-connections-US.png
    drive click 99
    check "OK of the connections dialog writes sftp.ini" is_out \
      "$(printf '%s\n' '[nas]' 'Host=127.0.0.1' "Port=$sftp_port" 'User=alice' "KeyFile=$(winpath "$case_dir/id_test")" "HostKey=$fingerprint")" \
      eval 'tr -d "\r" < "$(sftp_ini)"'
  else
    fail "'Connections...' opens the SFTP connections dialog"
  fi
  # Meanwhile the console adds a connection: editing and OK in the dialog keep it.
  drive press 5540
  if drive dlg-wait 5570 5000 >/dev/null; then
    printf '\r\n[pi]\r\nHost=pi.local\r\nUser=pi\r\nHostKey=accept-new\r\n' >> "$(sftp_ini)"
    drive lv-select 5570 0
    drive press 5543
    if drive dlg-wait 5571 5000 >/dev/null; then
      check "an edited connection keeps its name (the field is read-only)" is 1 readonly 5571
      drive set-text 5575 ""
      drive set-text 5577 "accept-new"
      drive click 99
    fi
    check "the edited row shows the password login" is_out "nas|alice@127.0.0.1:$sftp_port|password|accept-new" connection_row 0
    drive click 99
    check "OK keeps the connection the console added meanwhile and writes the edit" is_out \
      "$(printf '%s\n' '[nas]' 'Host=127.0.0.1' "Port=$sftp_port" 'User=alice' 'HostKey=accept-new' '' '[pi]' 'Host=pi.local' 'User=pi' 'HostKey=accept-new')" \
      eval 'tr -d "\r" < "$(sftp_ini)"'
  fi
  drive press 5540
  if drive dlg-wait 5570 5000 >/dev/null; then
    drive lv-select 5570 1
    drive click 5544
    check "'Remove' takes the row" is 1 lv-count 5570
    drive click 2
    check "Cancel leaves sftp.ini" grep -q '^\[pi\]' "$(sftp_ini)"
  fi
  # A server that takes the connection and never answers: the reading is still under way
  # when both dialogs close, and the program goes on and ends as usual.
  silent_port=$(( sftp_port + 1 ))
  python3 -c 'import socket,sys,time; s=socket.socket(); s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1); s.bind(("127.0.0.1",int(sys.argv[1]))); s.listen(4); c=[s.accept() for _ in range(4)]; time.sleep(120)' \
    "$silent_port" &
  silent_pid=$!
  drive press 5540
  if drive dlg-wait 5570 5000 >/dev/null; then
    drive press 5542
    if drive dlg-wait 5571 5000 >/dev/null; then
      drive set-text 5572 "127.0.0.1"
      drive set-text 5573 "$silent_port"
      drive click 5558
      check "a reading under way says so and greys the button" is_out "Reading the host key... 0" \
        eval 'echo "$(get text 5578) $(get enabled 5558)"'
      drive click 2
    fi
    drive click 2
  fi
  drive click 2
  check "with the reading still under way the program answers" open_dialog 109 91
  drive click 2
else
  fail "'&Configuration...' opens its dialog"
fi
drive close >/dev/null 2>&1
check "... and ends when asked, with status 0" wait_exit "$program_pid" 20
stop_program
kill "$sshd_pid" "$silent_pid" 2>/dev/null
wait "$sshd_pid" "$silent_pid" 2>/dev/null
rm -f "$(sftp_ini)"

# --- a plug-in's password request during a run goes to the password dialog ------------

remote_case plugin-password
printf 'two' > "$case_dir/Remote/L/b.txt"
CRVL_TESTFS_DIR="$(winpath "$case_dir/testfs")" start_program
drive wait-window 20000 >/dev/null
drive post 201 1 >/dev/null
if drive dlg-wait 5901 20000 >/dev/null; then
  pass "a run on a plug-in that asks for a password opens the password dialog"
  drive set-text 5901 "open sesame"
  drive click 99
  check "with the password given the run copies into the plug-in's folder" poll 20 files_reach "$case_dir/Remote/R" 2
  check "the module was given the password it wants" grep -q "request password matches" "$case_dir/testfs/trace.txt"
else
  fail "a run on a plug-in that asks for a password opens the password dialog"
fi
stop_program

# --- an availability task's password request refused outside a run: a tray notice ------

remote_case availability-refused $'\r\n[Task]\r\n1=Remote;ao\r\n'
export CRVL_MENU_TRACE="$(winpath "$case_dir/trace.txt")"
CRVL_TESTFS_DIR="$(winpath "$case_dir/testfs")" start_program
unset CRVL_MENU_TRACE
drive wait-window 20000 >/dev/null
notices() { tr -d '\r' 2>/dev/null < "$case_dir/trace.txt" | grep '^notice '; }
if drive dlg-wait 5901 20000 >/dev/null; then
  pass "the availability task's test of a plug-in folder asks for the password"
  drive click 2
  check "the refusal is told in a tray notice naming the job and the reason" poll 10 eval \
    'notices | grep -qxF "notice The availability task of Remote asked for a password and got none: the password was not given. It asks again once you start a job."'
  # The task's next tests ask nobody and tell nothing more.
  check "after the refusal the task asks no more" not drive dlg-wait 5901 3000
  import -window root "$shots/availability-refused-notice.png"
  check "the refusal is told once ($(notices | wc -l) notices)" [ "$(notices | wc -l)" -eq 1 ]
else
  fail "the availability task's test of a plug-in folder asks for the password"
fi
stop_program
