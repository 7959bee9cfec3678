#!/bin/sh
# Configures (quietly, unless it fails) and builds the given CMake presets.
set -eu
cd "$(dirname "$0")/.."
for preset in "$@"; do
    log=$(mktemp)
    if ! cmake --preset "$preset" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "build: configuring $preset failed" >&2
        exit 1
    fi
    rm -f "$log"
    echo "== building $preset" >&2
    cmake --build --preset "$preset"
done
