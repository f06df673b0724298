# Part of scripts/gui-test.sh (sourced after gui-test-plugins.sh; uses the helpers of
# gui-test.sh, gui-test-dialogs.sh and gui-test-plugins.sh): short runs of a job on the test plug-in that
# asks for a password, while the Language, Product Information and Planed Tasks
# dialogs are open, while the settings are restored and while the program exits. The
# program never crashes or hangs, and every password request is either shown or
# answered "cancelled" and noted in the job's log.
# Run on its own it only says what it is (with --help) or refuses.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  sed -n '1,/^[^#]/s/^# \{0,1\}//p' "$0"
  case "${1:-}" in -h | --help) exit 0 ;; *) exit 2 ;; esac
fi

# The plug-in asks on its first listing after it was loaded: once per shell cycle.
stress_setup() {
  remote_case stress
  cp "$case_dir/CRVL.INI" "$case_dir/saved.INI"
}
stress_start() {
  CRVL_TESTFS_DIR="$(winpath "$case_dir/testfs")" start_program
  drive wait-window 20000 >/dev/null
}
# The program answers a sent command within 10 s (a hung window does not).
responsive() { drive send 300 >/dev/null 2>&1; }
# Ends the program: close requests until it is gone (the first one stops the runs).
stress_exit() {
  local i
  for i in 1 2 3 4 5 6 7 8 9 10; do
    drive close >/dev/null 2>&1
    wait_exit "$program_pid" 2 && return 0
  done
  return 1
}
# A run started while `dialog` (a command and a control of its dialog) is open waits for
# it (runs do not start under an open dialog); once the dialog is closed with `button`
# the run goes on and its password prompt comes up and takes the password.
over_dialog() {
  local command=$1 control=$2 button=$3 what=$4
  if ! open_dialog "$command" "$control"; then fail "[stress] $what opens"; return; fi
  drive post 201 1 >/dev/null
  drive dlg-wait "$control" 5000 >/dev/null && drive click "$button"
  if drive dlg-wait 5901 15000 >/dev/null; then
    pass "[stress] a run started while $what was open asks for its password after it closed"
    drive set-text 5901 "open sesame"
    drive click 99
  else
    fail "[stress] a run started while $what was open asks for its password after it closed"
  fi
  check "[stress] the program answers after $what" responsive
}

stress_started=$(date +%s)
stress_setup
stress_start
over_dialog 109 91 2 "the Language dialog"
stress_exit; stress_start
over_dialog 115 7021 8 "Product Information"
stress_exit; stress_start
over_dialog 104 3102 99 "Planed Tasks (then the export)"
for round in 1 2 3; do
  # A restore while a run's question is on its way or shown: the restart answers it.
  stress_exit; stress_start
  drive post 201 1 >/dev/null
  drive dlg-wait 5901 $((round * 300)) >/dev/null
  before=$(drive wait-window 1000 | tr -d '\r')
  drive post 222 >/dev/null
  drive file-dialog "$(winpath "$case_dir/saved.INI")" 10000 >/dev/null
  restarted() { local w; w=$(drive wait-window 500 | tr -d '\r'); [ -n "$w" ] && [ "$w" != "$before" ]; }
  check "[stress $round] the program restarts after a restore during a run's question" poll 20 restarted
  check "[stress $round] the restarted program answers" responsive
  # An exit while the next cycle's question is on its way or shown; then a new start.
  drive post 201 1 >/dev/null
  drive dlg-wait 5901 $((round * 300)) >/dev/null
  check "[stress $round] an exit during a run's question ends the program" stress_exit
  kill -0 "$program_pid" 2>/dev/null && { kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null; }
done
# Every request the plug-in made was answered: a password given, or "refused" ones
# noted in the logs as cancelled or not shown.
asked=$(grep -c 'request password' "$case_dir/testfs/trace.txt" 2>/dev/null)
refused=$(grep -c 'request password refused' "$case_dir/testfs/trace.txt" 2>/dev/null)
noted=$(cat "$case_dir"/logs/*.txt 2>/dev/null | tr -d '\0' | grep -c 'Password request \(cancelled\|not shown\)')
check "[stress] the plug-in asked in every cycle ($asked requests)" [ "${asked:-0}" -ge 3 ]
check "[stress] every refused request ($refused) is noted in a job log ($noted notes)" [ "${refused:-0}" -eq "${noted:-0}" ]
check "[stress] the stress test stayed within its bound ($(( $(date +%s) - stress_started )) s)" \
  [ $(( $(date +%s) - stress_started )) -lt 110 ]
