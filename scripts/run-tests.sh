#!/bin/sh
# Runs every test suite of the given configurations (native first, then win32
# and win64 under Wine) and ends with one line: "N passed, N failed" over all
# of them.
#
# A GoogleTest program counts with its own test cases (from its XML report); a
# program that failed without reporting a failed case (a crash, a sanitizer
# report at exit) counts one failure more. Any other test counts as one.
# Exit status: 0 only when nothing failed.
set -u
cd "$(dirname "$0")/.."
configs=${*:-native win32 win64}
pass=0
fail=0
for cfg in $configs; do
    dir=build/$cfg
    rm -rf "$dir/test-results"
    mkdir -p "$dir/test-results"
    echo "== $cfg tests" >&2
    ctest --preset "$cfg" --output-junit ctest-junit.xml >&2
    if [ ! -f "$dir/ctest-junit.xml" ]; then
        echo "run-tests: $cfg: CTest wrote no report" >&2
        fail=$((fail + 1))
        continue
    fi
    # One "name status" line per CTest test, fixtures left out.
    summary=$(sed -n 's/.*<testcase name="\([^"]*\)".* status="\([^"]*\)".*/\1 \2/p' \
        "$dir/ctest-junit.xml" | grep -v '^wine_fixture_')
    while read -r name status; do
        [ -n "$name" ] || continue
        xml="$dir/test-results/$name.xml"
        if [ -f "$xml" ]; then
            counts=$(sed -n 's/.*<testsuites tests="\([0-9]*\)" failures="\([0-9]*\)" disabled="\([0-9]*\)" errors="\([0-9]*\)".*/\1 \2 \3 \4/p' "$xml")
            set -- $counts
            p=$(($1 - $2 - $3 - $4))
            f=$(($2 + $4))
            if [ "$status" != run ] && [ "$f" = 0 ]; then
                f=1
            fi
        elif [ "$status" = run ]; then
            p=1 f=0
        else
            p=0 f=1
        fi
        printf '  %s/%s: %d passed, %d failed\n' "$cfg" "$name" "$p" "$f" >&2
        pass=$((pass + p))
        fail=$((fail + f))
    done <<LIST
$summary
LIST
done
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
