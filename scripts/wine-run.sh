#!/bin/sh
# Runs a Windows program under Wine inside the build folder's own Wine prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is created and configured on first use, once, even when several
# tests start at the same moment; WINEDEBUG stays quiet unless the caller set it.
#
# Configuration: Wine's virtual desktop (one 1280x1024 X window holding every
# Windows window). Windows then look as on Windows, with Wine's own frames, and
# showing or hiding a window never waits for an X window manager (there is none
# under Xvfb, and Wine would wait for it on every top-level window).
set -e
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
marker="$prefix/.quotarion-ready-3"
if [ ! -f "$marker" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$marker" ]; then
            fresh=0
            if [ ! -f "$prefix/system.reg" ]; then
                wineboot -i >/dev/null 2>&1 || true
                fresh=1
            fi
            # Wine's own fonts (Marlett draws the caption buttons) where this Wine
            # build does not look for them by itself.
            if [ -d /usr/share/wine/fonts ] && [ -d "$prefix/drive_c/windows/Fonts" ]; then
                cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
            fi
            wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
            if [ $fresh = 1 ]; then
                # Nobody else uses a new prefix yet: restart it so the desktop applies.
                wineserver -k >/dev/null 2>&1 || true
                wineserver -w >/dev/null 2>&1 || true
            fi
            touch "$marker"
        fi
    ) 9>"$prefix.lock"
fi
exec wine "$@"
