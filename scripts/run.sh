#!/usr/bin/env bash
# Sets up the machine, builds Quotarion and its quote service, and runs both
# under Wine: QuoteServer.exe answers on port 80 (a simulated market), and
# Quotarion shows live quotes from it. The service stops when Quotarion ends.
#
# With an X display ($DISPLAY) Quotarion runs there until you choose Tools > Exit.
# Without one, it runs on a private Xvfb for QUOTARION_RUN_SECONDS (default 15),
# a screenshot is saved as build/mingw/quotarion-run.png, and both programs stop.
# Extra arguments go to QuoteServer.exe (for example: --data /path/to/csv-folder).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/common.sh

scripts/setup.sh
quotarion_build

bin="$root/build/mingw/bin"
# A Wine prefix of its own: the tests may kill theirs at any time.
prefix="$root/build/mingw/wineprefix-run"
run() { "$root/scripts/wine-run.sh" "$prefix" "$@"; }

# A first run shows quotes at once: three demo stocks, in the store's own table.
# An existing database is never touched.
if [ ! -f "$bin/quotarion.db" ]; then
    sqlite3 "$bin/quotarion.db" \
        "create table if not exists stocks (iKey INTEGER PRIMARY KEY, ticker TEXT);
         insert into stocks (iKey,ticker) values (NULL,'GOOG'),(NULL,'MSFT'),(NULL,'AAPL');"
    echo "run: created $bin/quotarion.db with GOOG, MSFT and AAPL"
fi

headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
fi
service_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    if [ -n "$service_pid" ]; then
        kill -INT "$service_pid" 2>/dev/null || true  # Ctrl+C: the service stops cleanly
        for _ in $(seq 1 50); do
            kill -0 "$service_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$service_pid" 2>/dev/null || true
    fi
    quotarion_stop_display
}
trap cleanup EXIT
quotarion_display

log="$root/build/mingw/quoteserver.log"
(cd "$bin" && exec "$root/scripts/wine-run.sh" "$prefix" "$bin/QuoteServer.exe" "$@") >"$log" 2>&1 &
service_pid=$!
sleep 2
if ! kill -0 "$service_pid" 2>/dev/null; then
    echo "run: QuoteServer.exe did not start (is port 80 taken?); its output:" >&2
    cat "$log" >&2
    exit 1
fi
echo "run: QuoteServer.exe answers on port 80 (log: $log)"

cd "$bin"
if [ $headless = 0 ]; then
    echo "run: starting Quotarion on $DISPLAY; close it with Tools > Exit"
    run "$bin/Quotarion.exe"
else
    seconds="${QUOTARION_RUN_SECONDS:-15}"
    echo "run: no display: Quotarion runs on a private Xvfb for $seconds s"
    "$root/scripts/wine-run.sh" "$prefix" "$bin/Quotarion.exe" &
    app_pid=$!
    sleep "$seconds"
    shot="$root/build/mingw/quotarion-run.png"
    quotarion_screenshot "$shot"
    echo "run: screenshot saved to $shot"
fi
