#!/usr/bin/env bash
# Builds the benchmarks (optimised, no sanitizers) and runs them natively and under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh

cmake --preset bench >/dev/null
cmake --build build/bench -j2
# The Windows build makes its database.db with the native build's sentrel-db.
cmake --preset native >/dev/null
cmake --build build/native -j2 --target sentrel-db
cmake --preset windows-bench >/dev/null
cmake --build build/windows-bench -j2 --target load_bench lookup_bench monitor_bench large_table_bench update_bench autostart_bench autostart_readers_bench \
    idle_bench feeds_bench cookie_store_bench shipped_database

echo "== Native"
build/bench/bin/load_bench
echo
build/bench/bin/lookup_bench
echo
build/bench/bin/update_bench
echo
build/bench/bin/feeds_bench
echo
build/bench/bin/cookie_store_bench
echo
echo "== Windows build under Wine"
scripts/wine-run.sh "$PWD/build/windows-bench/bin/load_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/lookup_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/monitor_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/large_table_bench.exe" --whole-up-to=50000 </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/update_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/feeds_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/cookie_store_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/autostart_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
scripts/wine-run.sh "$PWD/build/windows-bench/bin/autostart_readers_bench.exe" </dev/null 2>&1 | tr -d '\r'
echo
# Start-up and idle against the floor program: with the shipped database, with 50,000 rows, and
# with a Chrome and a Firefox cookie store of 20,000 cookies each that do not change.
build/bench/bin/sentrel-db generate 50000 build/windows-bench/database-50000.db
scripts/idle-cost.sh build/windows-bench/bin
echo
scripts/idle-cost.sh build/windows-bench/bin build/windows-bench/database-50000.db
echo
SENTREL_IDLE_COOKIE_STORES=1 scripts/idle-cost.sh build/windows-bench/bin
