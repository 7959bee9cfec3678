#!/bin/sh
# scripts/run-tests.sh where the machine runs no 32-bit x86 code (the
# probe's answer forced): the win32 suites are counted, never run (so the
# Wine root their fixture makes is not made either), the summary says so and
# passes; with VEL_REQUIRE_WIN32=1 it fails. The real probe answers too.
#
# usage: run_tests_skip.sh SOURCE_DIR WORK_DIR
set -u
top=$1 work=$2
rm -rf "$work"
mkdir -p "$work/win32"
fail() {
    echo "run_tests_skip: $*" >&2
    exit 1
}

probe=$("$top/scripts/ia32-probe.sh")
case "$?:$probe" in
[01]:"32-bit x86 code: yes"* | [01]:"32-bit x86 code: no"*) echo "$probe" ;;
*) fail "the probe gave no answer: $probe" ;;
esac

# A win32 build folder whose suites, if run, leave a mark.
cat >"$work/win32/CTestTestfile.cmake" <<END
add_test(wine_fixture_setup touch "$work/ran")
add_test(first_test touch "$work/ran")
add_test(second_test touch "$work/ran")
END
run() {
    VEL_IA32_PROBE=no VEL_BUILD_ROOT=$work "$top/scripts/run-tests.sh" win32 2>"$work/stderr"
}

out=$(VEL_REQUIRE_WIN32=0 run) || fail "exit $? with nothing failed: $out"
[ "$out" = "win32: 2 suites skipped: this machine runs no 32-bit x86 code (the win64 build ran the same sources)
0 passed, 0 failed, 2 skipped" ] || fail "summary: $out"
[ ! -e "$work/ran" ] || fail "a win32 suite ran"

out=$(VEL_REQUIRE_WIN32=1 run) && fail "VEL_REQUIRE_WIN32=1 passed"
[ "$(echo "$out" | tail -n 1)" = "0 passed, 1 failed, 2 skipped" ] ||
    fail "VEL_REQUIRE_WIN32=1 summary: $out"
[ ! -e "$work/ran" ] || fail "a win32 suite ran"
echo "ok"
