#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build, run and test Quotarion,
# then fetches SQLite's amalgamation. Safe to run again: it does nothing when
# everything is already there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Debian packages the build, the tests and the run command use.
packages=(
    cmake make
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine64 fonts-wine
    xvfb x11-apps imagemagick
    googletest
    sqlite3 curl python3
    clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
# Node.js and npm only fetch the amalgamation; any installed copy will do.
if ! command -v npm >/dev/null 2>&1; then
    missing+=(nodejs npm)
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# SQLite 3.50.4, from the amalgamation that better-sqlite3 12.4.1 carries in deps/sqlite3.
dest="$root/third_party/sqlite3"
if [ ! -f "$dest/sqlite3.c" ] || ! grep -q '^#define SQLITE_VERSION  *"3.50.4"' "$dest/sqlite3.h" 2>/dev/null; then
    echo "setup: fetching the SQLite amalgamation"
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    (cd "$tmp" && npm pack better-sqlite3@12.4.1 --silent >/dev/null)
    tar -xzf "$tmp/better-sqlite3-12.4.1.tgz" -C "$tmp" package/deps/sqlite3
    mkdir -p "$dest"
    cp "$tmp/package/deps/sqlite3/sqlite3.c" "$tmp/package/deps/sqlite3/sqlite3.h" \
       "$tmp/package/deps/sqlite3/sqlite3ext.h" "$dest/"
fi
