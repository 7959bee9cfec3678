#!/bin/sh
# users-view.sh VELPACK MAKERS WORK [RUNS]: the product as its users meet it,
# over the corpus that makers-view.sh flattened (MAKERS/flat) and packed
# (MAKERS/p.bin).
#
# 1. decode_bench of the Windows builds, whose library is the stubs': the
#    win64 build under the host's Wine, and the win32 build (the product)
#    under Wine 10's WoW64 mode where the machine runs 32-bit x86 code
#    (scripts/ia32-probe.sh); a line says so where it does not.
# 2. Our setups, with the default codec and with --codec zstd, against an
#    NSIS setup of the same files and an install.exe that ends at once
#    (bench/quiet_install.cpp): `velpack make --title`, run with auto=1,
#    against makensis's `SilentInstall silent`,
#    `SetOutPath $TEMP\nsis_bench`, `File` of every file and `Exec
#    install.exe`, with zlib (NSIS's default) and with solid LZMA. Each
#    setup is also made with install.exe alone (ours once, for both codecs), and every run is taken less
#    the time of that empty setup in the same round: what is left is the
#    extraction. RUNS rounds (5 by default) after one that warms the
#    caches, each setup in turn, the output folders emptied before every
#    run; each line is the median of the paired ratios, with the medians
#    of the times. The x86_64 twin against NSIS's amd64-unicode stub under
#    the host's Wine; where the machine runs 32-bit code, also the product
#    against its x86-ansi stub under WoW64.
#
# The Windows builds are found in build/win64 and build/win32 beside this
# script; NSIS is Debian's nsis package (make bench installs it).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/gui-steps.sh"
velpack=$1
makers=$(cd "$2" && pwd)
mkdir -p "$3"
work=$(cd "$3" && pwd)
runs=${4:-5}

now() { date +%s%N; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
size() { stat -c %s "$1"; }

# The Wine of each build: the host's for win64, the trixie root's for win32.
# Programs of the root see the folders shared with it at their own paths.
wine64() { "$root/cmake/wine.sh" "$work/wine64" "$@"; }
shares="--share $root"
case "$work/" in "$root"/*) ;; *) shares="$shares --share $work" ;; esac
case "$makers/" in "$root"/* | "$work"/*) ;; *) shares="$shares --share $makers" ;; esac
# shellcheck disable=SC2086
wine32() { "$root/cmake/wine.sh" --root "$root/build/wow64" $shares "$work/wine32" "$@"; }

# A Unix path as Wine's Z: drive shows it.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

if probe=$("$root/scripts/ia32-probe.sh"); then
    builds="win64 win32"
else
    builds=win64
fi

wine64 start
trap 'wine64 stop; [ "$builds" = win64 ] || wine32 stop' EXIT
if [ "$builds" != win64 ]; then
    wine32 start
fi

echo
echo "decoding in the Windows builds (the stubs' library, -Os) against zlib's inflate built the same way:"
for build in $builds; do
    if [ "$build" = win64 ]; then
        echo "x86_64 (win64 build, the stubs' twin), under the host's Wine:"
        wine64 run "$root/build/win64/bench/decode_bench.exe" "$(windows_path "$makers/p.bin")" |
            tr -d '\r' | sed 's/^/  /'
    else
        echo "i686 (win32 build, the product), under Wine's WoW64 mode:"
        wine32 run "$root/build/win32/bench/decode_bench.exe" "$(windows_path "$makers/p.bin")" |
            tr -d '\r' | sed 's/^/  /'
    fi
done
if [ "$builds" = win64 ]; then
    echo "i686 (win32 build, the product): not measured: $probe"
fi

# setups BUILD NSIS_TARGET: the seven setups of one build in $work/BUILD.
setups() {
    dir=$work/$1
    rm -rf "$dir"
    mkdir -p "$dir/files" "$dir/empty"
    cp -p "$makers"/flat/* "$dir/files/"
    for d in files empty; do
        cp -p "$root/build/$1/bench/install.exe" "$dir/$d/"
        "$velpack" make --stub "$root/build/$1/velstub.exe" "$dir/$d" -o "$dir/ours-$d.exe" \
            --title "Velmar bench" >/dev/null
        [ "$d" = empty ] ||
            "$velpack" make --stub "$root/build/$1/velstub.exe" "$dir/$d" --codec zstd \
                -o "$dir/ours-zstd-$d.exe" --title "Velmar bench" >/dev/null
        for compressor in zlib "/SOLID lzma"; do
            name=nsis-$(echo "$compressor" | tr -d '/ ' | tr '[:upper:]' '[:lower:]')-$d
            unicode=true
            case "$2" in *-ansi) unicode=false ;; esac
            cat >"$dir/$name.nsi" <<NSI
Unicode $unicode
Target $2
SetCompressor $compressor
Name "Velmar bench"
OutFile "$dir/$name.exe"
SilentInstall silent
RequestExecutionLevel user
Section
  SetOutPath "\$TEMP\\nsis_bench"
  File "$dir/$d/*.*"
  Exec '"\$OUTDIR\\install.exe"'
SectionEnd
NSI
            makensis -V1 "$dir/$name.nsi" >/dev/null
        done
    done
}

# compare BUILD NSIS_TARGET WINE LABEL
compare() {
    build=$1
    wine=$3
    setups "$build" "$2"
    dir=$work/$build
    temp=$(readlink -f "$(wine_temp "$wine" run)")
    : >"$dir/times.txt"
    for i in $(seq 0 "$runs"); do
        line=""
        for s in ours-files ours-empty nsis-zlib-files nsis-zlib-empty nsis-solidlzma-files \
            nsis-solidlzma-empty ours-zstd-files; do
            rm -rf "$temp/tmp_vel" "$temp/nsis_bench"
            start=$(now)
            "$wine" run "$dir/$s.exe" auto=1 </dev/null >/dev/null 2>&1
            line="$line $((($(now) - start) / 1000000))"
            # The install.exe it started ends before the next run begins.
            sleep 0.3
            case "$s" in
            *-files)
                n=$(find "$temp/tmp_vel" "$temp/nsis_bench" -type f 2>/dev/null | wc -l)
                want=$(find "$dir/files" -type f | wc -l)
                # Ours also writes its description, setup.ist.
                if [ "$n" -lt "$want" ]; then
                    echo "users-view: $s wrote $n files of $want" >&2
                    exit 1
                fi
                ;;
            esac
        done
        # The first round only warms the caches.
        [ "$i" = 0 ] || echo "$line" >>"$dir/times.txt"
    done
    rm -rf "$temp/tmp_vel" "$temp/nsis_bench"

    # Columns: ours, ours empty, zlib, zlib empty, LZMA, LZMA empty, ours
    # with Zstandard.
    extraction() { awk -v a="$1" -v b="$2" '{print $a - $b}' "$dir/times.txt" | median; }
    ratio() {
        awk -v a="$1" -v b="$2" -v c="$3" -v d="$4" \
            '{n = $c - $d; printf "%.3f\n", ($a - $b) / (n > 0 ? n : 1)}' "$dir/times.txt" | median
    }
    echo
    echo "the end user's view, $4, median of $runs paired runs, each less its empty setup's time:"
    printf '  extraction / NSIS zlib            %s   (%s / %s ms)\n' "$(ratio 1 2 3 4)" \
        "$(extraction 1 2)" "$(extraction 3 4)"
    printf '  extraction / NSIS solid LZMA      %s   (%s / %s ms)\n' "$(ratio 1 2 5 6)" \
        "$(extraction 1 2)" "$(extraction 5 6)"
    printf '  --codec zstd: extraction / NSIS zlib  %s   (%s / %s ms)\n' "$(ratio 7 2 3 4)" \
        "$(extraction 7 2)" "$(extraction 3 4)"
    printf '  empty setup run                   ours %s ms, NSIS zlib %s ms\n' \
        "$(awk '{print $2}' "$dir/times.txt" | median)" "$(awk '{print $4}' "$dir/times.txt" | median)"
    printf '  setup size                        ours %s, NSIS zlib %s, NSIS solid LZMA %s bytes\n' \
        "$(size "$dir/ours-files.exe")" "$(size "$dir/nsis-zlib-files.exe")" \
        "$(size "$dir/nsis-solidlzma-files.exe")"
    awk -v o="$(size "$dir/ours-zstd-files.exe")" -v l="$(size "$dir/nsis-solidlzma-files.exe")" \
        'BEGIN {printf "  --codec zstd setup / NSIS solid LZMA  %.3f   (%d bytes)\n", o / l, o}'
    printf '  empty setup                       ours %s, NSIS zlib %s bytes (with install.exe, %s bytes)\n' \
        "$(size "$dir/ours-empty.exe")" "$(size "$dir/nsis-zlib-empty.exe")" \
        "$(size "$dir/empty/install.exe")"
}

compare win64 amd64-unicode wine64 "the x86_64 twin against NSIS's amd64-unicode stub, under the host's Wine"
if [ "$builds" = win64 ]; then
    echo "  (the product against NSIS's x86-ansi stub: not measured: $probe)"
else
    compare win32 x86-ansi wine32 "the product (i686) against NSIS's x86-ansi stub, under Wine's WoW64 mode"
fi
