#!/usr/bin/env bash
# GUI tests of the tray program CRVL.exe under Wine, in a virtual X display of their
# own. The program is driven by messages from tools/guitest/crvl_drive.exe and, for the
# tray icon itself, by clicks (xdotool); screenshots go to BUILD/screenshots/.
#
#   scripts/gui-test.sh [BUILD_DIR]        (default build/windows)
#
# Uses its own Wine prefix (CRVL_GUI_WINEPREFIX, default ~/.wine-corvell-gui; created on
# first use), its own Xvfb on the first free display from :90 and its own wineserver,
# and stops both at the end. Exits non-zero when a check fails.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "${1:-build/windows}" && pwd)
shots="$build/screenshots"
work="$build/gui-tests"

for tool in Xvfb xdotool import compare wine wineserver; do
  command -v "$tool" >/dev/null || { echo "gui-test: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
for file in CRVL.exe CRVLRES.dll crvlc.exe crvl_drive.exe CRVL_US.HTM CRVL_DE.HTM; do
  [ -f "$build/$file" ] || { echo "gui-test: $build/$file is missing"; exit 1; }
done

export WINEPREFIX="${CRVL_GUI_WINEPREFIX:-$HOME/.wine-corvell-gui}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset CRVL_MENU_TRACE

# The virtual desktop is 1024x700: the tray icon's centre is at (W-11, H-10).
desk_w=1024
desk_h=700
icon_x=$((desk_w - 11))
icon_y=$((desk_h - 10))

passed=0
failed=0
xvfb_pid=""
server_pid=""

cleanup() {
  [ -n "$server_pid" ] && { wineserver -k 2>/dev/null; wait "$server_pid" 2>/dev/null; }
  [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
}
trap cleanup EXIT

pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() {  # check "what" command...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# --- display, prefix and server ------------------------------------------------------

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "gui-test: no free X display"; exit 1; }
Xvfb ":$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "gui-test: Xvfb did not start"; exit 1; }

if [ ! -f "$WINEPREFIX/.corvell-gui-ready" ]; then
  echo "gui-test: preparing the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # One shared virtual desktop with a task bar: all processes of a test find each
  # other's windows there. Crashes end the process instead of showing a dialog.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${desk_w}x${desk_h}" /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # A prefix made with Mono and Gecko switched off lacks the ".txt" association that
  # "View &log..." opens logs with.
  wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
  wine winecfg -v win10 >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.corvell-gui-ready"
fi
wineserver -f -p >/dev/null 2>&1 &
server_pid=$!
# 96 DPI and the normal desktop, also after a run broken off in the 144 DPI pass.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "${desk_w}x${desk_h}" /f >/dev/null 2>&1

drive() { wine "$build/crvl_drive.exe" "$@"; }

# --- helpers -------------------------------------------------------------------------

winpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); printf 'Z:%s' "${p//\//\\}"; }

# A test folder with the program, its language library and help pages. A program left
# running by a failed case is closed first.
new_case() {
  if ! drive wait-gone 100 >/dev/null 2>&1; then
    drive close >/dev/null 2>&1
    drive wait-gone 10000 >/dev/null 2>&1 || echo "gui-test: a program of an earlier case is still running"
  fi
  case_dir="$work/$1"
  rm -rf "$case_dir"
  mkdir -p "$case_dir"
  cp "$build/CRVL.exe" "$build/CRVLRES.dll" "$build/CRVL_US.HTM" "$build/CRVL_DE.HTM" "$case_dir/"
}

# A Mirror job NAME.job from folder L to R of the case, with `count` files of `size`
# bytes in L.
make_job() {
  local name=$1 count=${2:-3} size=${3:-100}
  mkdir -p "$case_dir/$name/L" "$case_dir/$name/R"
  local block
  block=$(head -c "$size" /dev/zero | tr '\0' 'x')
  for i in $(seq 1 "$count"); do printf '%s' "$block" > "$case_dir/$name/L/file$i.txt"; done
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' \
    "$(winpath "$case_dir/$name/L")" "$(winpath "$case_dir/$name/R")" > "$case_dir/$name.job"
}

# The settings file: language, log folder inside the case, text logs, then the register lines
# ("1=-Backup" ...), where JOB:name stands for the job file of that name. Without register
# lines the register holds one job, Idle (whose file need not exist): a program with an
# empty register opens "&Configure..." at start.
write_settings() {
  local language=$1; shift
  [ $# -eq 0 ] && set -- "1=Idle;JOB:Idle"
  {
    printf '[CRVL]\r\nLanguage=%s\r\nLog=%s\r\nExpMode=1\r\n\r\n[Job]\r\n' "$language" "$(winpath "$case_dir/logs")"
    local line
    for line in "$@"; do
      if [[ $line == *JOB:* ]]; then
        local job=${line##*JOB:}
        line="${line%%JOB:*}$(winpath "$case_dir/$job.job")"
      fi
      printf '%s\r\n' "$line"
    done
  } > "$case_dir/CRVL.INI"
}

# Starts the program of the case in the background: program_pid.
start_program() {
  wine "$case_dir/CRVL.exe" "$@" >"$case_dir/program.log" 2>&1 &
  program_pid=$!
}

# Waits for a process to end (at most `seconds`); its exit code, or 124.
wait_exit() {
  local pid=$1 seconds=${2:-20} i
  for i in $(seq 1 $((seconds * 10))); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
    sleep 0.1
  done
  return 124
}

# Ends the program of the case: a close request, then a wait for its end.
stop_program() {
  drive close >/dev/null 2>&1
  if ! wait_exit "$program_pid" 20; then kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null; fi
  drive wait-gone 5000 >/dev/null 2>&1
}

count_files() { find "$1" -type f 2>/dev/null | wc -l; }
files_reach() { [ "$(count_files "$1")" -eq "$2" ]; }
not() { ! "$@"; }

# Polls `command` for up to `seconds`.
poll() {
  local seconds=$1 i; shift
  for i in $(seq 1 $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
  return 1
}

# The notification area (where the program's icon sits) into a file.
shot_tray() { import -window root -crop "24x20+$((icon_x - 12))+$((icon_y - 10))" +repage "$1"; }
same_image() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]; }
different_image() { ! same_image "$1" "$2"; }
between() { [ "$1" -ge "$2" ] && [ "$1" -lt "$3" ]; }

# The open menus into a file, cropped to them with a margin.
shot_menus() {
  local rects x0=100000 y0=100000 x1=0 y1=0 x y w h
  rects=$(drive menu-rects | tr -d '\r')
  while read -r x y w h; do
    [ -z "$x" ] && continue
    (( x < x0 )) && x0=$x; (( y < y0 )) && y0=$y
    (( x + w > x1 )) && x1=$((x + w)); (( y + h > y1 )) && y1=$((y + h))
  done <<< "$rects"
  if (( x1 == 0 )); then fail "no menu to capture for $1"; return 1; fi
  x0=$((x0 > 8 ? x0 - 8 : 0)); y0=$((y0 > 8 ? y0 - 8 : 0))
  import -window root -crop "$((x1 - x0 + 8))x$((y1 - y0 + 8))+$x0+$y0" +repage "$shots/$1"
}

# Opens the tray menu with a click on the icon; the pointer then moves off the icon so
# that no tool tip covers the menu.
open_tray_menu() {
  xdotool mousemove "$icon_x" "$icon_y" click "${1:-1}"
  drive menu-wait 5000 >/dev/null || return 1
  xdotool mousemove 200 200
  sleep 0.3
}
close_menus() { drive menu-keys escape*4 >/dev/null 2>&1; drive menu-gone 3000 >/dev/null; }

mkdir -p "$shots" "$work"

# CRVL_GUI_ONLY="dialogs saves" runs only those parts (of dialogs, plugins, runs, stress,
# saves), without the cases above them: for a quick look. "dialogs dpi" adds the dialog
# tour at 144 DPI.
only=${CRVL_GUI_ONLY:-}
wanted() { [ -z "$only" ] || [[ " $only " == *" $1 "* ]]; }

if [ -z "$only" ]; then
# --- the tray menu in both languages, and the register's menu structure -------------

menu_case() {
  local language=$1
  new_case "menu-$language"
  make_job Alpha
  make_job Beta
  # A group holding Alpha, a separator, Beta, then a "-" outside any group that hides
  # Gamma.
  write_settings "$language" "1=-Backup" "2=Alpha;JOB:Alpha" "3=-" "4=--" "5=Beta;JOB:Beta" "6=-" \
    "7=Gamma;JOB:Alpha"
  export CRVL_MENU_TRACE="$(winpath "$case_dir/menu.txt")"
  start_program
  unset CRVL_MENU_TRACE
  if ! drive wait-window 20000 >/dev/null; then fail "[$language] the program's window appears"; return; fi
  sleep 0.5
  shot_tray "$case_dir/tray-idle.png"
  check "[$language] a click on the tray icon opens the menu" open_tray_menu
  shot_menus "tray-menu-$language.png"
  drive menu-keys down return >/dev/null   # "&Jobs"
  sleep 0.3
  shot_menus "jobs-menu-$language.png"
  drive menu-keys down down right >/dev/null  # the job Beta and its submenu
  sleep 0.3
  shot_menus "job-menu-$language.png"
  close_menus
  stop_program
  tr -d '\r' < "$case_dir/menu.txt" | sed '/^===$/,$d' > "$case_dir/menu-first.txt"
  if diff -u "$root/scripts/gui-test-data/menu-$language.txt" "$case_dir/menu-first.txt"; then
    pass "[$language] the menu holds the expected items, groups and per-job ids; St&op is grey"
  else
    fail "[$language] the menu holds the expected items, groups and per-job ids; St&op is grey"
  fi
}
menu_case US
menu_case DE

# --- single instance: a second start without arguments, a second Delay= -------------

new_case single
make_job Alpha
write_settings US "1=Alpha;JOB:Alpha"
start_program
drive wait-window 20000 >/dev/null
first_window=$(drive wait-window 1000 | tr -d '\r')
started=$(date +%s%N)
wine "$case_dir/CRVL.exe" "Delay=5" >/dev/null 2>&1
second=$?
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
check "a second start without a job name exits 0" [ "$second" -eq 0 ]
check "a second instance ignores its Delay= (ended in ${elapsed_ms} ms)" [ "$elapsed_ms" -lt 4000 ]
check "the first instance keeps its window" [ "$(drive wait-window 1000 | tr -d '\r')" = "$first_window" ]
check "the first instance still runs" kill -0 "$program_pid"
answer=$(drive copydata 2 "No such job" | tr -d '\r')
check "WM_COPYDATA is answered with 0" [ "$answer" = "0" ]
# Messages of the file-system layer's kind from another program: 0x0407 is answered
# with 0, and 0x0408 with an address that is none of the program's routines is refused.
check "message 0x0407 is answered with 0" [ "$(drive message 0x0407 0 12345 | tr -d '\r')" = "0" ]
check "message 0x0408 with a foreign address is refused (answer 0)" \
  [ "$(drive message 0x0408 0x12345678 0 | tr -d '\r')" = "0" ]
check "the program lives on after the foreign 0x0408" kill -0 "$program_pid"
# Log-off: the settings reach the disk at once (the work-area entry that the start
# noted in memory is there), and the program lets the session end.
check "the settings are not yet written while the program runs" not grep -q '^\[Desk\]' "$case_dir/CRVL.INI"
answer=$(drive query-end-session | tr -d '\r')
check "WM_QUERYENDSESSION is answered with TRUE" [ "$answer" = "1" ]
check "WM_QUERYENDSESSION flushes the settings" grep -q '^\[Desk\]' "$case_dir/CRVL.INI"
# While idle, St&op is disabled (the menu shows it grey, above): the command is dropped
# and the program carries on.
drive send 102 >/dev/null
check "WM_COMMAND 102 sent while idle is dropped and the program carries on" drive send 300
drive close >/dev/null
wait_exit "$program_pid" 20
code=$?
check "a close while idle ends the program with exit code 0 (got $code)" [ "$code" -eq 0 ]

# --- "View &log..." of a job opens its newest log --------------------------------

new_case view-log
make_job Alpha 2
write_settings US "1=Alpha;JOB:Alpha"
# The console beside the program writes the job's log as the tray program would (the
# log index names it relative to the programs' folder).
cp "$build/crvlc.exe" "$case_dir/"
wine "$case_dir/crvlc.exe" --settings "$(winpath "$case_dir/CRVL.INI")" run Alpha >/dev/null 2>&1
log_name=$(ls "$case_dir/logs" 2>/dev/null | grep -v '^Log.txt$' | head -1)
start_program
drive wait-window 20000 >/dev/null
drive post 204 1 >/dev/null
# Notepad shows "Untitled" until it has read the file: wait for the file's name.
title=""
log_shown() {
  title=$(drive wait-class Notepad 1000 | tr -d '\r')
  [ -n "$log_name" ] && [[ "$title" == "$log_name"* ]]
}
check "'View &log...' opens the job's log ($log_name) with its program" poll 30 log_shown
# What the screen showed instead, for the failure report.
log_shown || { echo "gui-test: the viewer's window: '$title'"; import -window root "$case_dir/no-log.png"; }
drive close-class Notepad >/dev/null 2>&1
stop_program

# --- start-up delay ------------------------------------------------------------------

new_case delay
write_settings US
started=$(date +%s%N)
start_program "Delay=2"
drive wait-window 20000 >/dev/null
waited_ms=$(( ($(date +%s%N) - started) / 1000000 ))
check "Delay=2 delays the first instance by about 2 s (window after ${waited_ms} ms)" between "$waited_ms" 2000 9000
stop_program

# --- two instances started at the same moment ---------------------------------------

new_case race
write_settings US
wine "$case_dir/CRVL.exe" >"$case_dir/a.log" 2>&1 &
race_a=$!
wine "$case_dir/CRVL.exe" >"$case_dir/b.log" 2>&1 &
race_b=$!
drive wait-window 20000 >/dev/null
sleep 2
alive=0
kill -0 "$race_a" 2>/dev/null && alive=$((alive + 1))
kill -0 "$race_b" 2>/dev/null && alive=$((alive + 1))
check "of two instances started together, one stays ($alive running)" [ "$alive" -eq 1 ]
drive close >/dev/null
wait_exit "$race_a" 20 >/dev/null
wait_exit "$race_b" 20 >/dev/null

# --- the tray icon comes back when the shell announces itself ----------------------

new_case taskbar
write_settings US
start_program
drive wait-window 20000 >/dev/null
sleep 0.5
shot_tray "$case_dir/before.png"
drive remove-icon >/dev/null
sleep 0.5
shot_tray "$case_dir/removed.png"
check "the icon is gone after the shell lost it" different_image "$case_dir/before.png" "$case_dir/removed.png"
drive taskbar-created >/dev/null
sleep 0.5
shot_tray "$case_dir/after.png"
check "a \"TaskbarCreated\" broadcast adds the icon again" same_image "$case_dir/before.png" "$case_dir/after.png"
cp "$case_dir/after.png" "$shots/tray-icon-idle.png"
stop_program

# --- a click while a dialog is open brings the dialog forward, opens no menu --------

new_case modal
write_settings US
start_program
drive wait-window 20000 >/dev/null
sleep 0.5
drive post 221 >/dev/null   # "&Backup Settings...": the system's file dialog
if drive dialog-wait 10000; then
  xdotool mousemove 300 300 click 1   # the desktop comes to the front
  sleep 0.3
  xdotool mousemove "$icon_x" "$icon_y" click 1
  sleep 0.5
  check "a tray click while a dialog is open opens no menu" not drive menu-wait 1500
  check "a tray click while a dialog is open brings the dialog to the front" \
    [ "$(drive foreground | tr -d '\r')" = "#32770" ]
  drive dialog-cancel >/dev/null
  drive menu-gone 2000 >/dev/null
  sleep 0.3
  check "after the dialog a tray click opens the menu again" open_tray_menu
  # "E&xit" by its key: the owner-drawn menu answers WM_MENUCHAR.
  drive menu-keys x >/dev/null
  wait_exit "$program_pid" 20
  code=$?
  check "E&xit chosen by its key ends the program with exit code 0 (got $code)" [ "$code" -eq 0 ]
  [ "$code" -eq 124 ] && stop_program
else
  fail "'&Backup Settings...' opens the file dialog"
  stop_program
fi

# --- "&Backup Settings..." and the dark-mode choice -------------------------------

new_case backup
write_settings US
start_program
drive wait-window 20000 >/dev/null
drive post 221 >/dev/null
check "'&Backup Settings...' asks for a file" drive file-dialog "$(winpath "$case_dir/copy.INI")"
check "'&Backup Settings...' writes the settings to the chosen file" poll 10 test -f "$case_dir/copy.INI"
check "the backup equals the settings file, flushed first" cmp -s "$case_dir/copy.INI" "$case_dir/CRVL.INI"
# The dark-mode commands store the choice at once (the menu offers them only where
# the system has a dark mode; Wine has none, so the commands are sent directly).
drive send 132 >/dev/null
check "choosing 'Allow dark mode' stores DM=1 at once" grep -q '^DM=1' "$case_dir/CRVL.INI"
drive send 131 >/dev/null
check "choosing 'Disable dark mode' stores DM=0 at once" grep -q '^DM=0' "$case_dir/CRVL.INI"
# Dark menus are drawn without icons: bit 1 of Opt follows the dark appearance.
drive send 133 >/dev/null
check "choosing 'Force dark mode' sets 'no icons in menu' (Opt=2)" grep -q $'^Opt=2\r$' "$case_dir/CRVL.INI"
drive send 131 >/dev/null
check "choosing 'Disable dark mode' after it clears 'no icons in menu' (Opt=0)" grep -q $'^Opt=0\r$' "$case_dir/CRVL.INI"
# A second backup to the same name: the dialog asks whether to replace it, and Yes
# replaces that file.
drive post 221 >/dev/null
drive file-dialog "$(winpath "$case_dir/copy.INI")" >/dev/null
if drive dlg-wait 65535 5000 >/dev/null; then
  drive command 6 >/dev/null   # "Yes"
  check "after 'replace?' Yes the backup replaces the chosen file" poll 10 cmp -s "$case_dir/copy.INI" "$case_dir/CRVL.INI"
  check "after 'replace?' Yes no 'copy (2).INI' is written" not test -e "$case_dir/copy (2).INI"
else
  fail "a backup to an existing file asks whether to replace it"
fi
stop_program

# --- "Start with Windows": the Startup shortcut follows the setting at the end ------

startup_link() { find "$WINEPREFIX/drive_c/users" -ipath '*/StartUp/CRVL.lnk' 2>/dev/null | head -1; }
# The shortcut's texts are UTF-16: compared with the zero bytes taken out.
link_holds() { local link; link=$(startup_link); [ -n "$link" ] && tr -d '\0' < "$link" | grep -aqF "$1"; }
no_startup_link() { [ -z "$(startup_link)" ]; }
new_case startup
rm -f "$(startup_link)"
write_settings US
sed -i 's/^ExpMode=1\r$/ExpMode=1\r\nOpt=1\r\nDelay=20\r/' "$case_dir/CRVL.INI"
start_program
drive wait-window 20000 >/dev/null
drive close >/dev/null
wait_exit "$program_pid" 20
check "with 'Start with Windows' set, the end of the program leaves a Startup shortcut" test -n "$(startup_link)"
check "the shortcut points at this program" \
  link_holds "$(winpath "$case_dir/CRVL.exe" | sed 's/^Z://')"
check "the shortcut carries the argument Delay=20" link_holds "Delay=20"
sed -i 's/^Opt=1\r$/Opt=0\r/' "$case_dir/CRVL.INI"
start_program
drive wait-window 20000 >/dev/null
drive close >/dev/null
wait_exit "$program_pid" 20
check "with 'Start with Windows' clear, the end of the program removes the shortcut" poll 2 no_startup_link
# Never leave a shortcut behind: wineboot would start it in later runs.
rm -f "$(startup_link)"

# --- "&Restore Settings..." restarts the shell with the restored file ---------------

new_case restore
make_job Alpha
write_settings DE "1=Delta;JOB:Alpha"
mv "$case_dir/CRVL.INI" "$case_dir/saved.INI"
write_settings US "1=Alpha;JOB:Alpha"
export CRVL_MENU_TRACE="$(winpath "$case_dir/menu.txt")"
start_program
unset CRVL_MENU_TRACE
first_window=$(drive wait-window 20000 | tr -d '\r')
drive post 222 >/dev/null
check "'&Restore Settings...' asks for a file" drive file-dialog "$(winpath "$case_dir/saved.INI")"
restarted() { local w; w=$(drive wait-window 500 | tr -d '\r'); [ -n "$w" ] && [ "$w" != "$first_window" ]; }
check "the program starts again with a new window" poll 20 restarted
check "the settings file is the restored one" cmp -s "$case_dir/CRVL.INI" "$case_dir/saved.INI"
if open_tray_menu; then close_menus; fi
tr -d '\r' < "$case_dir/menu.txt" > "$case_dir/menu-after.txt" 2>/dev/null
check "after the restart the menu follows the restored settings (German, job Delta)" \
  grep -qx '  Delta \[0\]' "$case_dir/menu-after.txt"
check "after the restart the menu is German" grep -qx 'A&ufgaben \[119\]' "$case_dir/menu-after.txt"
drive close >/dev/null
wait_exit "$program_pid" 20
code=$?
check "the restarted program ends with exit code 0 (got $code)" [ "$code" -eq 0 ]

fi

# --- runs ----------------------------------------------------------------------------

for part in dialogs plugins runs stress saves; do
  if wanted "$part"; then source "$root/scripts/gui-test-$part.sh"; fi
done

# --- the dialogs at 144 DPI (last: the desktop changes size) ----------------------
# Wine reads the DPI when a process starts. The virtual desktop grows for this pass so
# that the largest dialog (the job editor, 1.5 times its size) fits; both go back after.
# The desktop takes its size when it is made: the wineserver (and with it the desktop)
# starts again.
dpi_tour() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$2" /f >/dev/null 2>&1
  wineserver -k 2>/dev/null
  wait "$server_pid" 2>/dev/null
  wineserver -f -p >/dev/null 2>&1 &
  server_pid=$!
}
if wanted dpi; then
drive wait-gone 10000 >/dev/null 2>&1
dpi_tour 144 1400x920
shot_suffix=-144
dialog_tour US
dialog_tour DE
shot_suffix=
dpi_tour 96 "${desk_w}x${desk_h}"
fi

echo
echo "screenshots: $shots"
echo "gui: $passed passed, $failed failed"
# The cases' folders stay for a look when something failed.
if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "the cases' folders: $work"; fi
[ "$failed" -eq 0 ]
