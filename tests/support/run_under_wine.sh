#!/bin/sh
# Runs a Windows program of the build under Wine: CTest starts every Windows
# test program (and the listing of its cases) through this script.
#
# Wine starts a server for the first program, with its system services, and
# stops them three seconds after the last program ends. Started by a test,
# those services would hold the test's output open, and CTest waits for the
# output to close: every test would last until the server stopped. So the
# first program here starts a server of its own that outlives the last
# program by a minute, and the services with it, all with their output going
# nowhere; the others find them running. A lock keeps a second program from
# starting the services while the first one does. A prefix that does not
# exist yet is left to Wine to create ("wineboot --init" first, as
# scripts/test.sh does, makes the first test as quick as the rest).
export WINEDEBUG="${WINEDEBUG:--all}"
prefix="${WINEPREFIX:-$HOME/.wine}"
if [ -d "$prefix" ]; then
    (
        flock 9
        # Exits with 2 when a server runs already. Neither the server nor the
        # services get the lock's descriptor: they would hold the lock.
        if wineserver --persistent=60 >/dev/null 2>&1 9>&-; then
            wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
        fi
    ) 9>"$prefix/.run_under_wine.lock"
fi
exec wine "$@"
