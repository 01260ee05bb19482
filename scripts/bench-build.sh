# Sourced by the benchmark scripts that drive the shield under Wine: with $build empty, builds
# the benchmark build's target "$1" here and uses that build; then makes $build and $bin
# absolute.
if [ -z "$build" ]; then
    scripts/setup.sh
    cmake --preset windows-bench >/dev/null
    cmake --build build/windows-bench -j2 --target "$1"
    build=build/windows-bench
fi
bin=$(cd "$build/bin" && pwd)
build=$(cd "$build" && pwd)
