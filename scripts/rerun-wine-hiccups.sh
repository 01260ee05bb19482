#!/usr/bin/env bash
# After a ctest run of the Windows build: runs once more only the failed tests that hit a hiccup
# of Wine itself rather than a fault of the test: the test program ended before printing anything
# (Wine failed to start it). A program that printed its own "[  PASSED  ]" and then did not end is
# a failure like any other: a hang at exit is ours (a worker still running, a window never
# destroyed) and is shown, never re-run. Prints every re-run and its result; exits 1 when a test
# still fails, or failed for any other reason.
#
#   scripts/rerun-wine-hiccups.sh BUILD_DIR JOBS
set -uo pipefail
build=$1
jobs=${2:-1}
temporary=$build/Testing/Temporary
failed_list=$temporary/LastTestsFailed.log
[[ -s $failed_list ]] || exit 0

# The failed tests whose output (between "Output:" and "<end of output>" in LastTest.log) is empty.
mapfile -t failed < <(cut -d: -f2- "$failed_list")
mapfile -t silent < <(awk '
    /^[0-9]+\/[0-9]+ Testing: / { name = $0; sub(/^[0-9]+\/[0-9]+ Testing: /, "", name); next }
    /^Output:$/ { getline; inside = 1; text = ""; next }
    inside && /^<end of output>$/ { inside = 0; if (text == "") print name; next }
    inside { text = text $0 }
' "$temporary/LastTest.log")

rerun=()
others=()
for name in "${failed[@]}"; do
    if printf '%s\n' "${silent[@]}" | grep -qxF -- "$name"; then
        rerun+=("$name")
    else
        others+=("$name")
    fi
done

status=0
(( ${#others[@]} )) && status=1
if (( ${#rerun[@]} )); then
    pattern=$(printf '%s\n' "${rerun[@]}" | sed 's/[][\.*^$()+?{}|]/\\&/g' | paste -sd'|')
    rerun_status=0
    ctest --test-dir "$build" --output-on-failure -j "$jobs" -R "^($pattern)\$" >"$temporary/rerun.log" 2>&1 ||
        rerun_status=$?
    # ctest ends with "The following tests FAILED:" and one "  N - name (reason)" line each.
    still=$(sed -n '/The following tests FAILED:/,$p' "$temporary/rerun.log" |
            sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \([^)]*\)$/\1/p')
    # A run that failed without naming its tests (none found, a broken fixture) fails them all.
    if (( rerun_status != 0 )) && [[ -z $still ]]; then still=$(printf '%s\n' "${rerun[@]}"); fi
    for name in "${rerun[@]}"; do
        if grep -qxF -- "$name" <<<"$still"; then
            echo "RE-RUN (Wine hiccup: no output): $name: failed again"
            status=1
        else
            echo "RE-RUN (Wine hiccup: no output): $name: passed"
        fi
    done
fi
printf 'Windows tests re-run: %d; failed for other reasons (not re-run): %d\n' "${#rerun[@]}" "${#others[@]}"
exit $status
