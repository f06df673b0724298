#!/usr/bin/env bash
# Checks the layering, then configures, builds and runs the tests of both builds:
# linux (native, with AddressSanitizer and UndefinedBehaviorSanitizer, and again with
# ThreadSanitizer) and windows (mingw-w64, under Wine, with the tray program's GUI tests
# in a virtual X display), then builds the packages and tests them installed.
# Exits non-zero when a build or any test fails.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
status=0

step() { echo; echo "=== $* ==="; }

step "layers: every include points down"
tools/layers/check_layers_test.sh || status=1
tools/layers/check_layers.sh || status=1

step "linux: configure and build"
if cmake --preset linux >/dev/null && cmake --build --preset linux -j "$jobs"; then
  step "linux: tests"
  ctest --preset linux -j "$jobs" || status=1
  step "linux: fault script (a copy killed in the middle)"
  scripts/fault-kill-during-copy.sh build/linux/crvl || status=1
  step "linux: the daemon and one run per job, end to end"
  scripts/daemon-end-to-end.sh build/linux/crvl || status=1
  step "linux: the SFTP plug-in against an OpenSSH server of its own"
  scripts/sftp-test.sh build/linux/crvl build/linux/plugins/sftp.wfx64 || status=1
else
  echo "linux build failed"; status=1
fi

step "linux-tsan: configure, build and tests (ThreadSanitizer)"
if cmake --preset linux-tsan >/dev/null && cmake --build --preset linux-tsan -j "$jobs"; then
  ctest --preset linux-tsan -j "$jobs" || status=1
else
  echo "linux-tsan build failed"; status=1
fi

step "windows: configure and build"
if cmake --preset windows >/dev/null && cmake --build --preset windows -j "$jobs"; then
  step "windows: tests under Wine"
  export WINEDEBUG=-all
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-corvell}"
  # One persistent wineserver for the whole run: every test process then starts quickly.
  # The first start creates the prefix, which takes a few seconds.
  wine cmd /c exit >/dev/null 2>&1 || true
  wineserver -p 2>/dev/null || true
  ctest --preset windows -j "$jobs" || status=1
  step "windows: the SFTP plug-in under Wine against an OpenSSH server of its own"
  scripts/sftp-test.sh build/windows/crvlc.exe build/windows/plugins/sftp.wfx64 || status=1
  wineserver -k 2>/dev/null || true
  step "windows: the tray program under Wine in a virtual display"
  scripts/gui-test.sh build/windows || status=1
else
  echo "windows build failed"; status=1
fi

step "packages: the .deb, the Windows ZIP and installer, installed and removed"
if scripts/package.sh all; then
  scripts/package-test.sh all || status=1
else
  echo "packaging failed"; status=1
fi

if [ $status -eq 0 ]; then echo; echo "all tests of both builds passed"; fi
exit $status
