#!/usr/bin/env bash
# Opens every topic address the program uses inside the compiled help file, and every page the
# contents, the index and the pages' own links point to, with chmls (a native CHM reader).
#   help_file_test.sh HELP_CHM SOURCE_ROOT
set -euo pipefail
chm=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -s "$chm" ] || { echo "FAIL: no help file at $chm"; exit 1; }
chmls -n list "$chm" 2>/dev/null | grep '^/' | sed 's/[[:space:]]*$//' >"$work/names"

# Extracts a file of the help file (a path such as /Source/a b.htm) into $work/page.
extract() {
    rm -f "$work/page"
    chmls extract "$chm" "$1" "$work/page" >/dev/null 2>&1 && [ -s "$work/page" ]
}
has_name() { grep -qxF -- "$1" "$work/names"; }

# A topic address as the program writes it ("::/Source\Dir\Page.htm") opened as a page.
check_topic() {
    local address=$1
    local path=${address#::}
    path=${path//\\//}
    if ! has_name "$path"; then
        fail "topic $address is not in the help file"
        return
    fi
    if ! extract "$path" || ! grep -qi '<title>[^<][^<]*</title>' "$work/page" ||
        ! grep -qi '<h1>' "$work/page"; then
        fail "topic $address has no title or heading"
    fi
}

# The addresses the program opens: the list kept with the help sources, and every address
# written in the program's sources (C++ literals with doubled backslashes).
{
    grep -v '^#' "$root/data/help/program-topics.txt" | grep -v '^$'
    { grep -rhoE '"::/[^"]*\.htm"' "$root/src" || true; } | sed -e 's/^"//' -e 's/"$//' -e 's/\\\\/\\/g'
} | sort -u >"$work/topics"
topics=0
while IFS= read -r address; do
    check_topic "$address"
    topics=$((topics + 1))
done <"$work/topics"
echo "checked $topics topic addresses"

# The contents and the index name only pages that are there.
for sitemap in /Help.hhc /Help.hhk; do
    if ! extract "$sitemap"; then
        fail "$sitemap is missing"
        continue
    fi
    entries=0
    while IFS= read -r local; do
        entries=$((entries + 1))
        has_name "/${local//\\//}" || fail "$sitemap names $local, which is not in the help file"
    done < <(grep -o 'name="Local" value="[^"]*"' "$work/page" | sed -e 's/.*value="//' -e 's/"$//')
    [ "$entries" -gt 0 ] || fail "$sitemap has no entries"
done

# Every link and picture of every page resolves inside the help file, and no page keeps an
# unfilled @NAME@ placeholder.
pages=0
while IFS= read -r page; do
    pages=$((pages + 1))
    extract "$page" || { fail "$page cannot be read"; continue; }
    grep -q '@[A-Z_]*@' "$work/page" && fail "$page has an unfilled placeholder"
    folder=$(dirname "$page")
    while IFS= read -r target; do
        case "$target" in
        http:* | https:* | mailto:* | '#'*) continue ;;
        esac
        target=${target%%#*}
        resolved=$(realpath -m "$folder/$target")
        has_name "$resolved" || fail "$page links to $target, which is not in the help file"
    done < <(grep -oiE '(href|src)="[^"]*"' "$work/page" | sed -e 's/^[^"]*"//' -e 's/"$//')
done < <(grep -iE '\.htm$' "$work/names")
echo "checked $pages pages"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "help file: all topics, contents, index entries and links resolve"
