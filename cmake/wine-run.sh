#!/bin/sh
# Runs one Windows test program under Wine, quietly.
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
