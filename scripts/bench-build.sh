# Sourced by the benchmark scripts that drive the shield under Wine: with $build empty, builds
# the benchmark build's target "$1" here and uses that build; then makes $build and $bin
# absolute. The shipped database is made by the native build's sentrel-db, so that tool is built
# first (the Windows build looks for it when it is configured).
if [ -z "$build" ]; then
    scripts/setup.sh
    cmake --preset native >/dev/null
    cmake --build build/native -j2 --target sentrel-db
    cmake --preset windows-bench >/dev/null
    cmake --build build/windows-bench -j2 --target "$1"
    build=build/windows-bench
fi
bin=$(cd "$build/bin" && pwd)
build=$(cd "$build" && pwd)
if [ ! -f "$bin/database.db" ]; then
    echo "$bin has no database.db: build the native sentrel-db and configure $build again" >&2
    exit 1
fi
