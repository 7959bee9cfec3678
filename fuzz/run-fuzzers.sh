#!/bin/sh
# Runs the libFuzzer targets of a fuzz build for a bounded time each.
#   fuzz/run-fuzzers.sh BUILD_DIR SECONDS [NAME...]
# Without names, every target the build lists in fuzz-targets.txt.
# Each target starts from its seed corpus (fuzz/corpus/<name>/, read only)
# and grows a working corpus in BUILD_DIR/corpus/<name>/. A finding is
# written to BUILD_DIR/crashes/<name>/; copied into fuzz/crashes/<name>/, it
# is replayed by `make test` from then on. Exit status: 0 only when no
# target found anything.
set -u
build=${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
seconds=${2:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
shift 2
source=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then
    set -- $(cat "$build/fuzz-targets.txt")
fi
status=0
for name in "$@"; do
    if [ ! -x "$build/fuzzers/fuzz_$name" ]; then
        echo "run-fuzzers: no target $name in $build" >&2
        status=1
        continue
    fi
    mkdir -p "$build/corpus/$name" "$build/crashes/$name"
    log="$build/fuzz-$name.log"
    echo "== fuzz_$name for $seconds s" >&2
    "$build/fuzzers/fuzz_$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$name/" \
        "$build/corpus/$name" "$source/corpus/$name" > "$log" 2>&1
    result=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ $result -eq 0 ]; then
        echo "fuzz_$name: ${runs:-?} runs, no findings"
    else
        echo "fuzz_$name: FINDING after ${runs:-?} runs (exit $result); see $log and $build/crashes/$name/"
        tail -n 30 "$log" >&2
        status=1
    fi
done
exit $status
