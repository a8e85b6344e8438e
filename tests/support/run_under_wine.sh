#!/bin/sh
# Runs a Windows program of the build under Wine: CTest starts every Windows
# test program (and the discovery of its cases) through this script.
#
# Wine starts a server for the first program and stops it three seconds after
# the last one ends; a suite that starts hundreds of programs would pay for a
# new server (and the prefix's checks) again and again. So the first program
# leaves a server running for a minute after the last one instead. A prefix
# that does not exist yet is left to Wine to create (asking for a server
# there would only fail with "chdir to ...: No such file or directory").
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -d "${WINEPREFIX:-$HOME/.wine}" ]; then
    # Exits with 2 when a server runs already, which is what we want.
    # Its output goes nowhere: a server holding the test's output open would
    # keep CTest waiting for the test to end until the server stops.
    wineserver --persistent=60 >/dev/null 2>&1 || true
fi
exec wine "$@"
