#!/bin/sh
# zstd-builds.sh ZSTD_BENCH PAYLOAD WORK [RUNS]: the stub's build of libzstd
# against the host's, decoding the Zstandard payload PAYLOAD the launcher's
# way (bench/zstd_bench.cpp).
#
# ZSTD_BENCH is the host's program (Debian's libzstd); the x86_64 Windows
# build's (the stub's library: -Os, one Huffman and one sequence decoder)
# runs under the host's Wine, the i686 build's (the product's) under Wine's
# WoW64 mode where the machine runs 32-bit x86 code. RUNS rounds (5 by
# default), the programs in turn so that both meet the same machine; each
# run's figure is its fastest pass, and each line the median of the
# rounds, with the median of the paired ratios.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
host=$1
payload=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
mkdir -p "$3"
work=$(cd "$3" && pwd)
runs=${4:-5}

wine64() { "$root/cmake/wine.sh" "$work/wine64" "$@"; }
shares="--share $root"
for d in "$work" "$(dirname "$payload")"; do
    case "$d/" in "$root"/*) ;; *) shares="$shares --share $d" ;; esac
done
# shellcheck disable=SC2086
wine32() { "$root/cmake/wine.sh" --root "$root/build/wow64" $shares "$work/wine32" "$@"; }
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# The fastest pass's MB/s of one run's line.
fastest() { sed -n 's/.*fastest \([0-9]*\) MB\/s.*/\1/p'; }

builds=win64
if probe=$("$root/scripts/ia32-probe.sh"); then
    builds="win64 win32"
fi
wine64 start
trap 'wine64 stop; [ "$builds" = win64 ] || wine32 stop' EXIT
[ "$builds" = win64 ] || wine32 start

: >"$work/speeds.txt"
for i in $(seq 1 "$runs"); do
    line=$("$host" "$payload" | fastest)
    for build in $builds; do
        program=$root/build/$build/bench/zstd_bench.exe
        if [ "$build" = win64 ]; then
            line="$line $(wine64 run "$program" "$(windows_path "$payload")" | tr -d '\r' | fastest)"
        else
            line="$line $(wine32 run "$program" "$(windows_path "$payload")" | tr -d '\r' | fastest)"
        fi
    done
    echo "$line" >>"$work/speeds.txt"
done
memory=$("$host" "$payload" 1 | sed -n 's/.*memory \(.*\)$/\1/p')

echo
echo "Zstandard decoding, the launcher's way, median of $runs paired runs (fastest pass of each):"
printf '  host (Debian libzstd)             %s MB/s (decoder memory %s)\n' \
    "$(cut -d' ' -f1 "$work/speeds.txt" | median)" "$memory"
column=2
for build in $builds; do
    label="x86_64 stub build, Wine"
    [ "$build" = win64 ] || label="i686 stub build, WoW64"
    ratio=$(awk -v c="$column" '{printf "%.3f\n", $c / $1}' "$work/speeds.txt" | median)
    printf '  %-33s %s MB/s, %s of the host'"'"'s\n' "$label" \
        "$(cut -d' ' -f"$column" "$work/speeds.txt" | median)" "$ratio"
    column=$((column + 1))
done
[ "$builds" != win64 ] || echo "  i686 stub build: not measured: $probe"
