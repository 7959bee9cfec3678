#!/bin/sh
# velpack make on the test stub in every layout (PE32 and PE32+; debug
# sections, .reloc, an immovable section or no resources behind or instead
# of .rsrc): the setup executable reads back, binutils and icoutils see a
# sound resource tree, the stub's other resources stay byte for byte, and a
# setup executable made again from a setup executable carries only the new
# payload. Under Wine those of the build's own processor (RUN_ARCH: x86_64
# under wine64, i686 under Wine's WoW64 mode) run and read their payload
# themselves.
#
#   pe_layout.sh VELPACK WORK STUBS [RUN_ARCH]
VELPACK=$1
WORK=$2
STUBS=$3
RUN_ARCH=${4:-}
. "$(dirname "$0")/common.sh"

sections() {
    "$objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/' | wc -l
}

mkdir first second
head -c 50000 /dev/urandom >first/noise.bin
seq 1 5000 >first/numbers.txt
printf 'second\n' >second/small.txt
velpack pack first -o first.bin
expect 0 "pack first"
velpack pack second -o second.bin
expect 0 "pack second"
firstSize=$(stat -c %s first.bin)
secondSize=$(stat -c %s second.bin)

for stub in "$STUBS"/echo-*.exe; do
    name=${stub##*/}
    name=${name%.exe}
    arch=${name#echo-}
    arch=${arch%-*}
    variant=${name##*-}
    objdump=$arch-w64-mingw32-objdump
    before=$(sections "$stub")

    velpack make --stub "$stub" first.bin -o "s-$name.exe"
    expect 0 "$name: make"
    velpack test "s-$name.exe"
    expect 0 "$name: test"
    velpack extract "s-$name.exe" "x-$name"
    expect 0 "$name: extract"
    same_files first "x-$name" "$name: extract"

    if ! "$objdump" -p "s-$name.exe" >objdump.txt 2>objdump-err.txt || [ -s objdump-err.txt ]; then
        fail "$name: objdump -p: $(cat objdump-err.txt)"
    fi
    says objdump.txt "The .rsrc Resource Directory section" "$name: objdump -p"
    says objdump.txt "Leaf: Addr: " "$name: objdump -p"
    wrestool -l "s-$name.exe" >wrestool.txt 2>&1 || fail "$name: wrestool -l"
    says wrestool.txt "--type='EXE_DATA' --name=1 --language=0" "$name: wrestool"
    says wrestool.txt "size=$firstSize]" "$name: wrestool payload size"
    if [ "$variant" = bare ]; then
        [ "$(sections "s-$name.exe")" -eq $((before + 1)) ] || fail "$name: no section added"
    else
        # The other resources, byte for byte.
        rm -rf r1 r2
        mkdir r1 r2
        wrestool -x -R -o r1 "$stub"
        wrestool -x -R -o r2 "s-$name.exe"
        for f in r1/*; do
            rest=${f#r1/"$name".exe_}
            case "$rest" in EXE_DATA*) continue ;; esac
            cmp -s "$f" "r2/s-$name.exe_$rest" || fail "$name: resource $rest changed"
        done
        [ "$(ls r1 | wc -l)" -eq "$(ls r2 | wc -l)" ] || fail "$name: resources lost or added"
        if [ "$variant" = extra ]; then
            [ "$(sections "s-$name.exe")" -eq $((before + 1)) ] || fail "$name: no section added"
        else
            [ "$(sections "s-$name.exe")" -eq "$before" ] || fail "$name: sections added"
        fi
    fi

    # Made again from the setup executable: the new payload replaces the
    # old one in place, so the file changes by the difference alone.
    velpack make --stub "s-$name.exe" second.bin -o "t-$name.exe"
    expect 0 "$name: make from a setup executable"
    velpack extract "t-$name.exe" "y-$name"
    expect 0 "$name: extract again"
    same_files second "y-$name" "$name: extract again"
    [ "$(ls "y-$name")" = small.txt ] || fail "$name: old entries left: $(ls "y-$name")"
    [ "$(sections "t-$name.exe")" -eq "$(sections "s-$name.exe")" ] || fail "$name: sections changed"
    change=$(($(stat -c %s "t-$name.exe") - $(stat -c %s "s-$name.exe") - (secondSize - firstSize)))
    [ "$change" -ge -1024 ] && [ "$change" -le 1024 ] || fail "$name: size changed by $change more"

    if [ -n "$WINE" ] && [ "$arch" = "$RUN_ARCH" ]; then
        "$WINE" "./s-$name.exe" first.bin >run.txt 2>&1 || fail "$name: run: $(cat run.txt)"
        "$WINE" "./t-$name.exe" second.bin >run.txt 2>&1 || fail "$name: run again: $(cat run.txt)"
        if [ "$variant" != bare ]; then
            "$WINE" "$stub" | grep -av EXE_DATA >stub.txt
            "$WINE" "./t-$name.exe" | grep -av EXE_DATA >setup.txt
            cmp -s stub.txt setup.txt || fail "$name: the stub's resources read differently"
        fi
    fi
done

finish
