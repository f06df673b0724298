#!/usr/bin/env bash
# Tests the packages that scripts/package.sh builds:
#   deb      install with dpkg -i, run the demo through the installed crvl, check the man
#            page, the bash completion and the systemd user unit, report lintian's
#            findings (errors fail), remove with dpkg -r.
#   windows  in a fresh Wine prefix: silent install, the Start menu entry, crvlc.exe from
#            the installed place (its settings beside it, the folder being writable), a
#            silent uninstall that removes the program and keeps the settings.
# Usage: scripts/package-test.sh [deb|windows|all]   (default: all; needs root for dpkg)
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
what="${1:-all}"
failures=0
pass() { echo "  ok: $*"; }
fail() { echo "  FAILED: $*"; failures=$((failures + 1)); }
check() { local what="$1"; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

test_deb() {
  local deb
  deb=$(ls "$root"/dist/corvell_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || { fail "no .deb in dist/ (scripts/package.sh deb)"; return; }
  echo "=== $deb ==="
  if dpkg-query -W -f='${Status}' corvell 2>/dev/null | grep -q "install ok installed"; then
    fail "corvell is installed already; remove it first (dpkg -r corvell)"
    return
  fi
  check "dpkg -i installs it" $SUDO dpkg -i "$deb"
  check "crvl is on the path" test "$(command -v crvl)" = /usr/bin/crvl
  check "crvl --version names the version" sh -c 'crvl --version | grep -q "24.08"'
  check "the language library is the package's own" sh -c 'ldd /usr/bin/crvl | grep -q "libCRVLRES.so => /usr/lib/corvell/libCRVLRES.so"'
  check "the SFTP plug-in module is installed with its libraries" sh -c \
    'ldd /usr/lib/corvell/plugins/sftp.wfx64 | grep -q libssh2 && ! ldd /usr/lib/corvell/plugins/sftp.wfx64 | grep -q "not found"'
  check "the man page is installed" test -f /usr/share/man/man1/crvl.1.gz
  check "the man page has no formatting errors" sh -c \
    'zcat /usr/share/man/man1/crvl.1.gz | groff -man -Tutf8 -ww -z 2>&1 | (! grep -q .)'

  # The demo through the installed program, with a home of its own: the program lies in
  # a system folder, so its settings are per-user.
  local home
  home=$(mktemp -d)
  if HOME="$home" XDG_CONFIG_HOME= CRVL=/usr/bin/crvl DEMO_DIR="$home/demo" scripts/demo.sh >"$home/demo.out" 2>&1; then
    pass "the demo runs through the installed crvl"
  else
    fail "the demo through the installed crvl"; tail -20 "$home/demo.out"
  fi
  check "the demo's folders end equal" grep -q "Documents and Backup are identical" "$home/demo.out"
  check "a job registered without --settings goes to the per-user settings" sh -c \
    "HOME='$home' XDG_CONFIG_HOME= crvl job new Home '$home/demo/Documents' '$home/demo/Copy' >/dev/null &&
     test -f '$home/.config/Halberic/CRVL.INI' && test -f '$home/.config/Halberic/CRVL/Job/Home.job'"

  # Bash completion: commands, subcommands and job names from the register.
  if [ -f /usr/share/bash-completion/bash_completion ]; then
    local got
    got=$(HOME="$home" XDG_CONFIG_HOME= bash -c '
      source /usr/share/bash-completion/bash_completion
      source /usr/share/bash-completion/completions/crvl
      complete1() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
                    COMPREPLY=(); _crvl crvl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
                    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" "|"; echo; }
      complete1 crvl jo
      complete1 crvl job s
      complete1 crvl run H
      complete1 crvl task add Home --w' 2>&1)
    check "completion of commands" sh -c "echo '$got' | sed -n 1p | grep -qx 'job|jobs|'"
    check "completion of subcommands" sh -c "echo '$got' | sed -n 2p | grep -qx 'set|show|'"
    check "completion of job names from the register" sh -c "echo '$got' | sed -n 3p | grep -q '^Home|'"
    check "completion of a command's options" sh -c "echo '$got' | sed -n 4p | grep -qx -- '--weekly|--when-available|'"
    check "zsh and fish completion are installed" \
      test -f /usr/share/zsh/vendor-completions/_crvl -a -f /usr/share/fish/vendor_completions.d/crvl.fish
    if command -v fish >/dev/null; then
      check "fish finds the installed completion and its job names" sh -c \
        "HOME='$home' XDG_CONFIG_HOME= fish -c 'complete -C \"crvl run H\"' | grep -qx Home"
    fi
  else
    fail "bash-completion is not installed (scripts/setup.sh installs it)"
  fi
  rm -rf "$home"

  if command -v systemd-analyze >/dev/null; then
    check "the systemd user unit verifies" systemd-analyze verify /usr/lib/systemd/user/crvl-daemon.service
  fi

  if command -v lintian >/dev/null; then
    echo "--- lintian"
    local report
    report=$(lintian "$deb" 2>/dev/null)
    echo "${report:-(no findings)}"
    check "lintian finds no errors" sh -c "echo '$report' | (! grep -q '^E:')"
  fi

  check "dpkg -r removes it" sh -c "$SUDO dpkg -r corvell >/dev/null"
  check "crvl is gone" test ! -e /usr/bin/crvl
  check "the language library is gone" test ! -e /usr/lib/corvell
}

test_windows() {
  local setup
  setup=$(ls "$root"/dist/Corvell-*-setup.exe 2>/dev/null | head -1)
  [ -n "$setup" ] || { fail "no installer in dist/ (scripts/package.sh windows)"; return; }
  echo "=== $setup ==="
  local zip
  zip=$(ls "$root"/dist/Corvell-*-win64.zip 2>/dev/null | head -1)
  check "the ZIP holds the programs, the library, the help and the README" sh -c \
    "unzip -Z1 '$zip' | sort | tr '\n' ' ' | grep -qx 'Corvell/ Corvell/CRVL.exe Corvell/CRVLRES.dll Corvell/CRVL_DE.HTM Corvell/CRVL_US.HTM Corvell/README.txt Corvell/crvlc.exe Corvell/plugins/ Corvell/plugins/sftp.wfx64 '"

  local work
  work=$(mktemp -d)
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot -i >/dev/null 2>&1
  wineserver -w

  check "the silent install succeeds" wine "$setup" /S
  wineserver -w
  local user programs
  user=$(ls "$WINEPREFIX/drive_c/users" | grep -vx Public | head -1)
  programs="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Corvell"
  local f
  for f in CRVL.exe crvlc.exe CRVLRES.dll CRVL_US.HTM CRVL_DE.HTM README.txt Uninstall.exe plugins/sftp.wfx64; do
    check "installed for the user: $f" test -f "$programs/$f"
  done
  # Linked statically: it needs nothing beside it but Windows' own libraries.
  check "the SFTP module imports only system libraries" sh -c \
    "x86_64-w64-mingw32-objdump -p '$programs/plugins/sftp.wfx64' | sed -n 's/^\tDLL Name: //p' | tr A-Z a-z |
     grep -vxE 'kernel32.dll|user32.dll|advapi32.dll|ws2_32.dll|crypt32.dll|bcrypt.dll|msvcrt.dll|api-ms-win-crt-[a-z0-9-]*.dll' | (! grep -q .)"
  check "a Start menu entry" test -f "$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Corvell/Corvell.lnk"
  check "an uninstall entry for the user" sh -c \
    "wine reg query 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvell' /v UninstallString 2>/dev/null | grep -q Uninstall.exe"
  local version
  version=$(wine "$programs/crvlc.exe" --version 2>/dev/null | tr -d '\r')
  check "crvlc.exe --version from the installed place" sh -c "echo '$version' | grep -q 24.08"

  # A job made and run by the installed console: its settings file lies beside the
  # program, whose folder the user can write.
  mkdir -p "$WINEPREFIX/drive_c/demo/L/sub" "$WINEPREFIX/drive_c/demo/R"
  echo one >"$WINEPREFIX/drive_c/demo/L/a.txt"
  echo two >"$WINEPREFIX/drive_c/demo/L/sub/b.txt"
  check "crvlc.exe job new" wine "$programs/crvlc.exe" job new Demo 'C:\demo\L' 'C:\demo\R' --file 'C:\demo\demo.job'
  check "crvlc.exe run" wine "$programs/crvlc.exe" run Demo
  check "the run copied the files" diff -r "$WINEPREFIX/drive_c/demo/L" "$WINEPREFIX/drive_c/demo/R"
  check "the settings lie beside the installed program" grep -q "Demo" "$programs/CRVL.INI"
  check "the installed SFTP module loads" wine "$programs/crvlc.exe" plugin add SFTP \
    "C:\\users\\$user\\AppData\\Local\\Programs\\Corvell\\plugins\\sftp.wfx64"

  local startup="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp/CRVL.lnk"
  check "crvlc.exe autostart on makes the session's start entry" sh -c \
    "wine '$programs/crvlc.exe' autostart on >/dev/null && test -f '$startup'"

  wine "$programs/Uninstall.exe" /S
  wineserver -w
  for f in CRVL.exe crvlc.exe CRVLRES.dll Uninstall.exe plugins; do
    check "uninstalled: $f" test ! -e "$programs/$f"
  done
  check "the Start menu entry is gone" test ! -e "$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Corvell"
  check "the start entry of the removed program is gone" test ! -e "$startup"
  check "a silent uninstall keeps the settings" test -f "$programs/CRVL.INI"
  check "the job file stays" test -f "$WINEPREFIX/drive_c/demo/demo.job"

  wineserver -k 2>/dev/null
  rm -rf "$work"
}

case "$what" in
  deb) test_deb ;;
  windows) test_windows ;;
  all) test_deb; test_windows ;;
  *) echo "usage: scripts/package-test.sh [deb|windows|all]"; exit 2 ;;
esac

if [ $failures -ne 0 ]; then
  echo "package tests: $failures failed"
  exit 1
fi
echo "package tests: all passed"
