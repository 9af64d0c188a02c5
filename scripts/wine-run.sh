#!/bin/sh
# Runs a Windows program under Wine inside the build folder's own Wine prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is created on first use (wineboot), once, even when several
# tests start at the same moment; WINEDEBUG stays quiet unless the caller set it.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$prefix/.quotarion-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.quotarion-ready" ]; then
            wineboot -i >/dev/null 2>&1 || true
            wineserver -w
            touch "$prefix/.quotarion-ready"
        fi
    ) 9>"$prefix.lock"
fi
exec wine "$@"
