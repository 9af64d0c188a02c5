#!/bin/sh
# The store's database file, written by the store under Wine, read back by the
# sqlite3 command-line tool of the host: any SQLite tool can read it.
# Usage: store_cli_check.sh WINE_RUN PREFIX BIN_DIR
set -eu
wine_run=$1
prefix=$2
bin=$3
db="$bin/store-cli-check.db"
rm -f "$db"
cd "$bin"
QUOTARION_STORE_CLI_DB="store-cli-check.db" "$wine_run" "$prefix" "$bin/test_store.exe" \
    --gtest_filter=StoreFile.WritesAFileForTheCommandLineTool
schema=$(sqlite3 "$db" ".schema stocks")
rows=$(sqlite3 "$db" "select iKey || ':' || ticker from stocks order by iKey")
expected_rows=$(printf '1:GOOG\n2:O'"'"'NEIL\n3:^GSPC')
if [ "$schema" != "CREATE TABLE stocks (iKey INTEGER PRIMARY KEY, ticker TEXT);" ]; then
    echo "unexpected schema: $schema" >&2
    exit 1
fi
if [ "$rows" != "$expected_rows" ]; then
    echo "unexpected rows: $rows" >&2
    exit 1
fi
rm -f "$db"
echo "sqlite3 reads the store's file: $rows" | tr '\n' ' '
echo
