#!/usr/bin/env bash
# Refreshes the tables of the public feeds in data/threats (TrackerDomains, MaliciousHosts,
# PublicSuffixes) from Debian's webext-ublock-origin-firefox package, whose assets/thirdparties
# folder holds snapshots of EasyPrivacy, EasyList, the URLhaus filter and the Public Suffix List.
#
#   scripts/refresh-feeds.sh [SENTREL_DB]
#
# SENTREL_DB defaults to build/native/bin/sentrel-db. Needs apt-get (with the package lists of
# the Debian release) and dpkg-deb. Prints the package version and the feeds' own dates for
# data/threats/README.md, then the steps that turn the new tables into a signed update.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
tool="${1:-$root/build/native/bin/sentrel-db}"
package=webext-ublock-origin-firefox
if [[ ! -x $tool ]]; then
    echo "refresh-feeds.sh: no $tool; build it first: cmake --build build/native --target sentrel-db" >&2
    exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"  # apt-get downloads as its own user _apt
(cd "$work" && apt-get download "$package")
debs=("$work/${package}"_*.deb)
deb="${debs[0]}"
dpkg-deb -x "$deb" "$work/x"
assets="$(find "$work/x" -type d -path '*/assets/thirdparties' -print -quit)"
if [[ -z $assets ]]; then
    echo "refresh-feeds.sh: $package $(dpkg-deb -f "$deb" Version) has no assets/thirdparties folder" >&2
    exit 1
fi

"$tool" import "$assets" "$root/data/threats"

echo
echo "Source: $package $(dpkg-deb -f "$deb" Version)"
for feed in easylist/easyprivacy.txt easylist/easylist.txt urlhaus-filter/urlhaus-filter-online.txt \
    publicsuffix.org/list/effective_tld_names.dat; do
    echo "  $feed: $(grep -m4 -E '^(! (Title|Updated|Last modified):|// (VERSION|COMMIT):)' "$assets/$feed" |
        sed -E 's/^(!|\/\/) //' | paste -sd ';' - | sed 's/;/; /g')"
done

cat <<EOF

Next steps:
  1. Update the "Public feeds" section of data/threats/README.md with the version, dates and
     counts above, and look at the diff of data/threats.
  2. Build the new database:
       cmake --build build/native                  # build/native/bin/database.db from data/threats
  3. Make the update from the database last published (number N-1) to the new one (number N):
       $tool diff OLD.db build/native/bin/database.db N updateN.dat
  4. Sign it on the signing machine and check it as the program will:
       $tool sign PRIVATE_KEY updateN.dat
       $tool verify PUBLIC_KEY updateN.dat
       $tool apply OLD.db N-1 updateN.dat check.db --key PUBLIC_KEY
  5. Put updateN.dat and updateN.dat.sig beside the others the update server serves.
EOF
