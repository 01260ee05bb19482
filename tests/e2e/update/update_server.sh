#!/bin/bash
# The update server for the wizard's end-to-end tests, run natively beside Wine:
#   update_server.sh start BUILD_DIR SENTREL_DB SERVER_PROGRAM SOURCE_DIR
#   update_server.sh stop BUILD_DIR
# start makes two chained updates of the shipped database (numbers 2 and 3, each adding one
# cookie row), signs them with the test key, serves them on a free port of 127.0.0.1 and
# writes the address to BUILD_DIR/update-server/address.txt. v2.db and v3.db are the maker's
# new databases the tests compare with.
set -euo pipefail
action=$1
build=$(cd "$2" && pwd)
folder=$build/update-server

stop_server() {
    if [[ -f $folder/server.pid ]]; then
        kill "$(cat "$folder/server.pid")" 2>/dev/null || true
        rm -f "$folder/server.pid"
    fi
}

if [[ $action == stop ]]; then
    stop_server
    exit 0
fi

db_tool=$3
server=$4
source=$5
stop_server
rm -rf "$folder"
mkdir -p "$folder/root"
previous=$build/bin/database.db
for number in 2 3; do
    tables=$folder/tables$number
    cp -r "$source/data/threats" "$tables"
    for n in $(seq 2 "$number"); do printf '*@e2e-update-%s*\n' "$n" >> "$tables/Cookies.csv"; done
    "$db_tool" build "$tables" "$folder/v$number.db" > /dev/null
    "$db_tool" diff "$previous" "$folder/v$number.db" "$number" "$folder/root/update$number.dat" > /dev/null
    "$db_tool" sign "$source/data/keys/test_update_private.pem" "$folder/root/update$number.dat" > /dev/null
    previous=$folder/v$number.db
done

"$server" --root "$folder/root" --port 0 < /dev/null > "$folder/server.log" 2>&1 &
echo $! > "$folder/server.pid"
for _ in $(seq 100); do
    address=$(grep -o 'http://127.0.0.1:[0-9]*' "$folder/server.log" || true)
    if [[ -n $address ]]; then
        echo "$address" > "$folder/address.txt"
        echo "update server at $address"
        exit 0
    fi
    sleep 0.1
done
echo "the update server did not start:" >&2
cat "$folder/server.log" >&2
stop_server
exit 1
