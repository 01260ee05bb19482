#!/usr/bin/env bash
# The database that Sentrel4.exe writes back at exit is read by the maker's sentrel-db with the
# same tables, in name order, as the sources it was built from.
#   saved_database_matches_sources.sh BUILD_DIR SENTREL_DB THREATS_DIR
set -euo pipefail
build=$1 tool=$2 threats=$3
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/program"
cp "$build/bin/Sentrel4.exe" "$build/bin/database.db" "$work/program/"
before=$(stat -c "%i %y" "$work/program/database.db")
export SENTREL_WINE_BUILD=$build
"$scripts/wine-run.sh" "$work/program/Sentrel4.exe" </dev/null >"$work/shield.log" 2>&1 &
shield=$!
for _ in $(seq 300); do
    [ -f "$work/program/options.ini" ] && break
    sleep 0.1
done
[ -f "$work/program/options.ini" ] || { echo "FAIL: the shield did not start"; exit 1; }
sleep 1
"$scripts/wine-run.sh" taskkill /im Sentrel4.exe </dev/null >/dev/null 2>&1
wait "$shield" || { echo "FAIL: the shield did not end cleanly"; exit 1; }

after=$(stat -c "%i %y" "$work/program/database.db")
[ "$before" != "$after" ] || { echo "FAIL: database.db was not written back"; exit 1; }
"$tool" dump "$work/program/database.db" "$work/dump"
# The sources are one CSV per table; the dump must give back every one of them unchanged.
for table in "$threats"/*.csv; do
    cmp "$table" "$work/dump/$(basename "$table")" || { echo "FAIL: $(basename "$table") differs"; exit 1; }
done
[ "$(ls "$work/dump" | wc -l)" -eq "$(ls "$threats"/*.csv | wc -l)" ] || { echo "FAIL: other tables"; exit 1; }
"$tool" info "$work/program/database.db"
echo "database.db saved by Sentrel4.exe reads back with the same tables"
