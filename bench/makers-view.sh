#!/bin/sh
# makers-view.sh VELPACK CORPUS WORK [RUNS]: velpack as a maker sees it,
# paired against Info-ZIP on the same files.
#
# The corpus is flattened into one folder (a payload holds bare names) and
# packed both ways: velpack's default level (and once more at --level max,
# for its size; and with --codec zstd, at both levels, for the size per
# codec) and `zip -9`. Then, RUNS times
# (5 by default) and in turn, so that both meet the same machine: `velpack
# test` against `unzip -t`, `velpack extract` (of either payload) against
# `unzip` and against `cp -r` of the files (the limit). Each line gives the median of the
# per-run ratios, with the medians of the times; the peak memory of
# `velpack extract` is GNU time's maximum resident set size.
set -eu
velpack=$1
corpus=$2
work=$3
runs=${4:-5}

mkdir -p "$work"
work=$(cd "$work" && pwd)
rm -rf "$work/flat" "$work/out"
mkdir -p "$work/flat"
find "$corpus" -type f -exec cp -p {} "$work/flat/" \;
files=$(find "$work/flat" -type f | wc -l)
bytes=$(find "$work/flat" -type f -printf '%s\n' | awk '{s += $1} END {print s}')

now() { date +%s%N; }

# Milliseconds a command takes, its output thrown away.
timed() {
    start=$(now)
    "$@" >/dev/null 2>&1
    echo $((($(now) - start) / 1000000))
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

rm -f "$work/p.bin" "$work/max.bin" "$work/z.bin" "$work/zmax.bin" "$work/c.zip"
pack_ms=$(timed "$velpack" pack "$work/flat" -o "$work/p.bin")
max_ms=$(timed "$velpack" pack "$work/flat" -o "$work/max.bin" --level max)
zstd_ms=$(timed "$velpack" pack "$work/flat" -o "$work/z.bin" --codec zstd)
zmax_ms=$(timed "$velpack" pack "$work/flat" -o "$work/zmax.bin" --codec zstd --level max)
(cd "$work/flat" && zip -9 -q -X "$work/c.zip" ./*)
payload=$(stat -c %s "$work/p.bin")
max=$(stat -c %s "$work/max.bin")
zstd=$(stat -c %s "$work/z.bin")
zmax=$(stat -c %s "$work/zmax.bin")
zipped=$(stat -c %s "$work/c.zip")

: >"$work/test.txt"
: >"$work/extract.txt"
: >"$work/copy.txt"
: >"$work/zextract.txt"
for i in $(seq 0 "$runs"); do
    vt=$(timed "$velpack" test "$work/p.bin")
    ut=$(timed unzip -tq "$work/c.zip")
    rm -rf "$work/out"
    ve=$(timed "$velpack" extract "$work/p.bin" "$work/out")
    rm -rf "$work/out"
    ue=$(timed unzip -q "$work/c.zip" -d "$work/out")
    rm -rf "$work/out"
    ce=$(timed cp -r "$work/flat" "$work/out")
    rm -rf "$work/out"
    ze=$(timed "$velpack" extract "$work/z.bin" "$work/out")
    rm -rf "$work/out"
    # The first round only warms the caches.
    [ "$i" = 0 ] && continue
    echo "$vt $ut" >>"$work/test.txt"
    echo "$ve $ue" >>"$work/extract.txt"
    echo "$ve $ce" >>"$work/copy.txt"
    echo "$ze $ue" >>"$work/zextract.txt"
done
peak_kb=$(/usr/bin/time -f %M "$velpack" extract "$work/p.bin" "$work/out" 2>&1 >/dev/null | tail -n 1)
rm -rf "$work/out"

ratio() {  # ratio FILE: median of a/b, and the medians of a and b
    r=$(awk '{printf "%.4f\n", $1 / ($2 > 0 ? $2 : 1)}' "$1" | median)
    a=$(cut -d' ' -f1 "$1" | median)
    b=$(cut -d' ' -f2 "$1" | median)
    echo "$r $a $b"
}
set -- $(ratio "$work/test.txt")
test_ratio=$1 test_v=$2 test_u=$3
set -- $(ratio "$work/extract.txt")
extract_ratio=$1 extract_v=$2 extract_u=$3
set -- $(ratio "$work/copy.txt")
copy_ratio=$1 copy_c=$3
set -- $(ratio "$work/zextract.txt")
zextract_ratio=$1 zextract_v=$2 zextract_u=$3

echo
echo "maker's view: $files files, $bytes bytes, median of $runs paired runs against Info-ZIP"
awk -v p="$payload" -v z="$zipped" 'BEGIN {printf "  payload size / zip -9 size        %.3f   (%d / %d bytes)\n", p / z, p, z}'
awk -v p="$max" -v z="$zipped" 'BEGIN {printf "  same, --level max                 %.3f   (%d bytes)\n", p / z, p}'
awk -v p="$zstd" -v z="$zipped" -v d="$payload" 'BEGIN {printf "  --codec zstd payload / zip -9     %.3f   (%d bytes; / the default payload %.3f)\n", p / z, p, p / d}'
awk -v p="$zmax" -v z="$zipped" -v d="$payload" 'BEGIN {printf "  same, --level max                 %.3f   (%d bytes; / the default payload %.3f)\n", p / z, p, p / d}'
pack_speed() {  # label milliseconds
    awk -v l="$1" -v b="$bytes" -v ms="$2" 'BEGIN {printf "  %-33s %.1f MB/s (%d ms)\n", l, b / 1e6 / (ms / 1000), ms}'
}
pack_speed "velpack pack" "$pack_ms"
pack_speed "velpack pack --level max" "$max_ms"
pack_speed "velpack pack --codec zstd" "$zstd_ms"
pack_speed "same, --level max" "$zmax_ms"
printf '  velpack test / unzip -t           %.3f   (%s / %s ms)\n' "$test_ratio" "$test_v" "$test_u"
printf '  velpack extract / unzip           %.3f   (%s / %s ms)\n' "$extract_ratio" "$extract_v" "$extract_u"
printf '  same, --codec zstd payload        %.3f   (%s / %s ms)\n' "$zextract_ratio" "$zextract_v" "$zextract_u"
printf '  velpack extract / cp -r           %.3f   (%s / %s ms)\n' "$copy_ratio" "$extract_v" "$copy_c"
awk -v k="$peak_kb" -v p="$payload" 'BEGIN {printf "  velpack extract peak memory       %.1f MB (payload %.1f MB, payload + %.1f MB)\n", k * 1024 / 1e6, p / 1e6, (k * 1024 - p) / 1e6}'
