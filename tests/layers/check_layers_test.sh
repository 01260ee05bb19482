#!/usr/bin/env bash
# The layer check passes on the tree and fails, naming the fault, on a copy of the tree with one
# planted fault at a time: an upward include, a folder built into another library than its own,
# and a maker's tool that includes a Windows-only layer.
#   check_layers_test.sh SOURCE_ROOT SOURCE_LIST WORK_FOLDER
set -euo pipefail
source_root=$1 list=$2 work=$3
check=$source_root/scripts/check-layers.sh

bash "$check" --sources "$list" "$source_root" >/dev/null

rm -rf "$work" && mkdir -p "$work/tree"
cp -r "$source_root/src" "$source_root/tools" "$work/tree/"
bash "$check" --sources "$list" "$work/tree" >/dev/null

# Runs the check on the copy with the list plus `extra` lines; it must fail with `expected`.
expect_failure() {
    local extra=$1 expected=$2
    { cat "$list"; printf '%s\n' "$extra"; } >"$work/list.txt"
    if bash "$check" --sources "$work/list.txt" "$work/tree" >/dev/null 2>"$work/errors.txt"; then
        echo "the check passed on: $extra" >&2
        exit 1
    fi
    grep -qF "$expected" "$work/errors.txt" || { echo "expected \"$expected\", got:" >&2; cat "$work/errors.txt" >&2; exit 1; }
    rm -f "$work/tree/src/common/Planted.cpp" "$work/tree/src/core/Planted.cpp" "$work/tree/tools/sentrel-db/Planted.cpp"
}

printf '#include "core/WarningQueue.h"\n' >"$work/tree/src/common/Planted.cpp"
expect_failure "sentrel_common src/common/Planted.cpp" \
    "UPWARD INCLUDE: src/common/Planted.cpp (common) includes core/WarningQueue.h (core)"

# A source of core/ built into common: its includes of config/ point up from common.
printf '#include "config/Options.h"\n' >"$work/tree/src/core/Planted.cpp"
expect_failure "sentrel_common src/core/Planted.cpp" "FOLDER AND LIBRARY DISAGREE: src/core/"

printf '#include "monitors/Scanners.h"\n' >"$work/tree/tools/sentrel-db/Planted.cpp"
expect_failure "sentrel_db_support tools/sentrel-db/Planted.cpp" \
    "UPWARD INCLUDE: tools/sentrel-db/Planted.cpp (tools) includes monitors/Scanners.h (monitors)"

rm -rf "$work"
echo "The layer check passes on the tree and finds each planted fault."
