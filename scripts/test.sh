#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test:
# the pure logic natively (with sanitizers), then the Windows test programs under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/common.sh

scripts/setup.sh
quotarion_build_host
quotarion_build

prefix="$root/build/mingw/wineprefix"
cleanup() {
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    quotarion_stop_display
}
trap cleanup EXIT
quotarion_display
# Create the Wine prefix once, then keep its server alive for the whole run:
# each test program then starts in a fraction of a second, and no background
# process of Wine outlives a test while holding ctest's output open.
scripts/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
WINEPREFIX="$prefix" wineserver -p
WINEPREFIX="$prefix" WINEDEBUG=-all wine cmd /c exit >/dev/null 2>&1 || true

status=0
ctest --preset host || status=1
ctest --preset mingw || status=1
exit $status
