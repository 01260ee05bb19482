#!/usr/bin/env bash
# Checks that no #include of the program's sources points up the layer order and prints the
# include graph, folder to folder, lowest layer first. Exits 1 on an upward include, or when a
# source is built into another library than its folder's.
#
#   scripts/check-layers.sh [--sources LIST]... [SOURCE_ROOT]
#
# A file's layer is the library that compiles it, as the build says: each build writes
# layer-sources.txt ("<target> <path>" per source, cmake/LayerSources.cmake). Without --sources
# the lists of build/native (configured first when missing) and of build/windows (when present)
# are read. A header, or a source no build compiles, takes the layer of the library that compiles
# its folder's sources. A source of src/<layer>/ built into any library but sentrel_<layer> (or
# Sentrel4 for app/), or a folder of tools/ built into two layers, is an error: folder and
# library agree. SOURCE_ROOT defaults to this tree; its src/ and tools/ are checked.
#
# The order, lowest first; a layer may include its own headers and those of any layer below it.
# The maker's tools sit on top and may include only the portable layers.
set -euo pipefail
layers=(common platform config database browsers warnings monitors core ui app)
portable="common config database browsers warnings"

lists=()
root=
while (( $# )); do
    case $1 in
        --sources) lists+=("$2"); shift 2 ;;
        -*) echo "usage: check-layers.sh [--sources LIST]... [SOURCE_ROOT]" >&2; exit 2 ;;
        *) root=$1; shift ;;
    esac
done
root=${root:-"$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"}
if (( ${#lists[@]} == 0 )); then
    if [[ ! -f $root/build/native/layer-sources.txt ]]; then
        (cd "$root" && cmake --preset native >/dev/null)
    fi
    lists+=("$root/build/native/layer-sources.txt")
    [[ -f $root/build/windows/layer-sources.txt ]] && lists+=("$root/build/windows/layer-sources.txt")
fi

declare -A layer_index=()
for i in "${!layers[@]}"; do layer_index[${layers[$i]}]=$i; done
layer_index[tools]=${#layers[@]}

declare -A file_layer=()    # path -> layer of the library that compiles it
declare -A folder_layer=()  # folder -> layer of the library that compiles its sources
failures=0
fail() {
    echo "$*" >&2
    failures=$((failures + 1))
}

for list in "${lists[@]}"; do
    [[ -f $list ]] || { echo "no source list $list (configure the build first)" >&2; exit 2; }
    while read -r target path; do
        # A file gone since the build was configured (the build lists it until it is again).
        [[ -n $target && -f $root/$path ]] || continue
        if [[ $target == sentrel_* && -n ${layer_index[${target#sentrel_}]:-} && ${target#sentrel_} != tools ]]; then
            layer=${target#sentrel_}
        elif [[ $target == Sentrel4 || $target == Sentrel4Admin || $target == Sentrel4AdminUnderTest ]]; then
            layer=app
        elif [[ $path == tools/* ]]; then
            layer=tools
        else
            fail "NO LAYER: $path is compiled by $target, which is no layer's library"
            continue
        fi
        if [[ -n ${file_layer[$path]:-} && ${file_layer[$path]} != "$layer" ]]; then
            fail "TWO LAYERS: $path is compiled into ${file_layer[$path]} and into $layer"
        fi
        file_layer[$path]=$layer
        folder=${path%/*}
        if [[ $folder == src/* && ${folder#src/} != "$layer" ]]; then
            fail "FOLDER AND LIBRARY DISAGREE: $folder/ is not the folder of $layer ($path, built by $target)"
        elif [[ -n ${folder_layer[$folder]:-} && ${folder_layer[$folder]} != "$layer" ]]; then
            fail "FOLDER AND LIBRARY DISAGREE: $folder/ holds sources of ${folder_layer[$folder]} and of $layer ($path)"
        fi
        folder_layer[$folder]=$layer
    done <"$list"
done

# Sets `layer` to the layer of a file of the tree. A folder that no build read compiles anything
# of (the Windows-only ones when only the native build is configured) is the library of its name.
layer_of() {
    layer=${file_layer[$1]:-${folder_layer[${1%/*}]:-}}
    [[ -n $layer ]] && return
    local folder=${1%/*}
    if [[ $folder == tools/* ]]; then
        layer=tools
    elif [[ $folder == src/* && $folder != src/*/* && -n ${layer_index[${folder#src/}]:-} ]]; then
        layer=${folder#src/}
    fi
}

declare -A edges=()
while IFS= read -r line; do
    file=${line%%:*}
    relative=${file#"$root"/}
    [[ ${line#*:} =~ \"([^\"]+)\" ]] || continue
    header=${BASH_REMATCH[1]}
    if [[ -f $root/src/$header ]]; then
        target=src/$header
    elif [[ -f $root/tools/$header ]]; then
        target=tools/$header
    elif [[ -f $root/${relative%/*}/$header ]]; then
        target=${relative%/*}/$header
    else
        continue  # a generated header or one of the system's
    fi
    layer_of "$relative"
    from=$layer
    layer_of "$target"
    to=$layer
    if [[ -z $from ]]; then
        fail "NO LAYER: no build compiles anything of ${relative%/*}/, and it names no layer ($relative)"
        continue
    fi
    [[ -n $to ]] || continue
    [[ $from == "$to" ]] && continue
    edges["$from -> $to"]=$(( ${edges["$from -> $to"]:-0} + 1 ))
    if [[ $from == tools ]]; then
        [[ " $portable " == *" $to "* ]] && continue
    elif (( layer_index[$to] <= layer_index[$from] )); then
        continue
    fi
    fail "UPWARD INCLUDE: $relative ($from) includes $header ($to)"
done < <(grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/src" "$root/tools" \
             --include='*.h' --include='*.cpp' --include='*.in' 2>/dev/null || true)

echo "Include graph (layer -> layer: includes), lowest layer first:"
for from in "${layers[@]}" tools; do
    for to in "${layers[@]}"; do
        count=${edges["$from -> $to"]:-}
        [[ -n $count ]] && printf '  %-8s -> %-8s %3d\n' "$from" "$to" "$count"
    done
done
if (( failures )); then
    echo "$failures layer fault(s): the layer order is ${layers[*]} (tools: $portable)" >&2
    exit 1
fi
echo "No include points up; every folder is one library."
