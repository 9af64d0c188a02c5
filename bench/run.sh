#!/usr/bin/env bash
# Runs the benchmarks and prints each figure as a ratio to a baseline measured in
# the same run: the parsers natively (optimised, no sanitizers) and under Wine,
# the engine (timer pass, socket layer, memory of the I/O thread) under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh

cmake -S . -B build/bench-host -DCMAKE_BUILD_TYPE=Release -DQUOTARION_SANITIZE=OFF -DQUOTARION_TESTS=OFF >/dev/null
cmake --build build/bench-host --target bench_parsers -j "$(nproc)" >/dev/null
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target bench_parsers bench_engine -j "$(nproc)" >/dev/null

prefix="$root/build/mingw/wineprefix"
echo "== parsers, native"
build/bench-host/bin/bench_parsers
echo "== parsers, Windows build under Wine"
(cd build/mingw/bin && "$root/scripts/wine-run.sh" "$prefix" ./bench_parsers.exe)
echo "== engine, Windows build under Wine"
(cd build/mingw/bin && "$root/scripts/wine-run.sh" "$prefix" ./bench_engine.exe)
