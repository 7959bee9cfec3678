#!/bin/sh
# Runs every test suite of the given configurations (native first, then win32
# and win64 under Wine) and ends with one line: "N passed, N failed" over all
# of them.
#
# A GoogleTest program counts with its own test cases (from its XML report); a
# program that failed without reporting a failed case (a crash, a sanitizer
# report at exit) counts one failure more. Any other test counts as one.
# Exit status: 0 only when nothing failed.
#
# The win32 suites run the i686 build under Wine's WoW64 mode, which needs a
# machine that executes 32-bit x86 code (scripts/ia32-probe.sh). Elsewhere
# they are built but not run: one line says so, the summary gains
# ", N skipped", and the run still passes unless VEL_REQUIRE_WIN32=1 asks
# for the product to have run (a release), which makes it a failure.
# VEL_BUILD_ROOT (default build) is where the build folders are.
set -u
cd "$(dirname "$0")/.."
configs=${*:-native win32 win64}
build=${VEL_BUILD_ROOT:-build}
pass=0
fail=0
skipped=0
skip_line=""
for cfg in $configs; do
    dir=$build/$cfg
    rm -rf "$dir/test-results"
    mkdir -p "$dir/test-results"
    echo "== $cfg tests" >&2
    if [ "$cfg" = win32 ]; then
        probe=$(scripts/ia32-probe.sh)
        answer=$?
        echo "$probe" >&2
    else
        answer=0
    fi
    if [ "$answer" -gt 1 ]; then
        echo "run-tests: $cfg: the 32-bit probe failed" >&2
        fail=$((fail + 1))
        continue
    fi
    if [ "$answer" = 1 ]; then
        # CTest lists the suites without running anything (no fixture, so no
        # Wine root is made).
        n=$(ctest --test-dir "$dir" -N | grep -E '^ *Test +#[0-9]+: ' |
            grep -c -v -E ': wine_fixture_')
        skipped=$((skipped + n))
        skip_line="win32: $n suites skipped: this machine runs no 32-bit x86 code (the win64 build ran the same sources)"
        if [ "${VEL_REQUIRE_WIN32:-0}" = 1 ]; then
            echo "run-tests: VEL_REQUIRE_WIN32=1: the win32 suites must run; counted as a failure" >&2
            fail=$((fail + 1))
        fi
        continue
    fi
    ctest --preset "$cfg" --test-dir "$dir" --output-junit ctest-junit.xml >&2
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
if [ "$skipped" = 0 ]; then
    echo "$pass passed, $fail failed"
else
    echo "$skip_line"
    echo "$pass passed, $fail failed, $skipped skipped"
fi
[ "$fail" = 0 ]
