#!/usr/bin/env bash
# Checks that no #include of the program's sources points up the layer order and prints the
# include graph, folder to folder, lowest layer first. Exits 1 on an upward include.
#
#   scripts/check-layers.sh [SOURCE_ROOT]     (default: the src/ and tools/ folders of this tree)
#
# The order, lowest first; a folder may include its own layer and any layer below it. The
# maker's tools sit on top and may include only the portable layers.
set -euo pipefail
root=${1:-"$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"}
layers=(common platform config database warnings monitors core ui app)
portable="common config database warnings"

# Upward includes that are known and on their way out (folder/file -> included header); none now.
known=()

level() {
    local i
    for i in "${!layers[@]}"; do [[ ${layers[$i]} == "$1" ]] && { echo "$i"; return; }; done
    [[ $1 == tools ]] && { echo "${#layers[@]}"; return; }
    echo -1
}

declare -A edges=()
failures=0
while IFS= read -r line; do
    file=${line%%:*}
    relative=${file#"$root"/}
    relative=${relative#src/}
    from=${relative%%/*}
    header=$(sed -E 's/^[^"]*"([^"]+)".*/\1/' <<<"${line#*:}")
    to=${header%%/*}
    [[ $header == */* ]] || continue
    to_level=$(level "$to")
    (( to_level >= 0 )) || continue
    from_level=$(level "$from")
    (( from_level >= 0 )) || continue
    [[ $from == "$to" ]] && continue
    edges["$from -> $to"]=$(( ${edges["$from -> $to"]:-0} + 1 ))
    upward=0
    if [[ $from == tools ]]; then
        [[ " $portable " == *" $to "* ]] || upward=1
    elif (( to_level > from_level )); then
        upward=1
    fi
    (( upward )) || continue
    is_known=0
    for entry in "${known[@]}"; do [[ $entry == "$relative -> $header" ]] && is_known=1; done
    if (( is_known )); then
        echo "known upward include: $relative -> $header"
    else
        echo "UPWARD INCLUDE: $relative includes $header ($from may not include $to)" >&2
        failures=$((failures + 1))
    fi
done < <(grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/src" "$root/tools" \
             --include='*.h' --include='*.cpp' --include='*.in' 2>/dev/null || true)

echo "Include graph (folder -> folder: includes), lowest layer first:"
for from in "${layers[@]}" tools; do
    for to in "${layers[@]}"; do
        count=${edges["$from -> $to"]:-}
        [[ -n $count ]] && printf '  %-8s -> %-8s %3d\n' "$from" "$to" "$count"
    done
done
if (( failures )); then
    echo "$failures upward include(s): the layer order is ${layers[*]} (tools: $portable)" >&2
    exit 1
fi
echo "No include points up."
