#!/bin/sh
# velpack make on the test stub in every layout (PE32 and PE32+; debug
# sections, .reloc, an immovable section or no resources behind or instead
# of .rsrc): the setup executable reads back, binutils and icoutils see a
# sound resource tree, the stub's other resources stay byte for byte, and a
# setup executable made again from a setup executable carries only the new
# payload. With the options of a maker's resources (icon, version
# information, manifest) every image of the icon file is the icon group
# G_ICON, nothing of the stub is lost, the output is reproducible, and made
# again from its own output the group's old images are gone. Under Wine
# those of the build's own processor (RUN_ARCH: x86_64 under wine64, i686
# under Wine's WoW64 mode) run and read their payload themselves.
#
#   pe_layout.sh VELPACK WORK STUBS ICON [RUN_ARCH]
VELPACK=$1
WORK=$2
STUBS=$3
ICON=$4
RUN_ARCH=${5:-}
. "$(dirname "$0")/common.sh"

sections() {
    "$objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/' | wc -l
}

# sound FILE WHAT: binutils reads the resource tree of FILE without a word.
sound() {
    if ! "$objdump" -p "$1" >objdump.txt 2>objdump-err.txt || [ -s objdump-err.txt ]; then
        fail "$2: objdump -p: $(cat objdump-err.txt)"
    fi
    says objdump.txt "The .rsrc Resource Directory section" "$2: objdump -p"
    says objdump.txt "Leaf: Addr: " "$2: objdump -p"
}

# kept FROM TO WHAT: every resource of FROM but the payload is in TO, byte
# for byte. Answers how many FROM has.
kept() {
    rm -rf r1 r2
    mkdir r1 r2
    wrestool -x -R -o r1 "$1" 2>/dev/null
    wrestool -x -R -o r2 "$2"
    for kept_path in r1/*; do
        [ -e "$kept_path" ] || continue
        kept_rest=${kept_path#r1/"${1##*/}"_}
        case "$kept_rest" in EXE_DATA*) continue ;; esac
        cmp -s "$kept_path" "r2/${2##*/}_$kept_rest" || fail "$3: resource $kept_rest changed"
    done
}

# resources FILE: what wrestool lists, without the places and the payload.
resources() {
    wrestool -l "$1" | grep -v EXE_DATA | sed 's/ \[.*//'
}

cp "$ICON" setup.ico
iconSize=$(stat -c %s setup.ico)
set -- --icon setup.ico --file-version 2.1.0.7 --version-info "CompanyName=Velmar Informatique" \
    --elevation highestAvailable

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

    sound "s-$name.exe" "$name"
    wrestool -l "s-$name.exe" >wrestool.txt 2>&1 || fail "$name: wrestool -l"
    says wrestool.txt "--type='EXE_DATA' --name=1 --language=0" "$name: wrestool"
    says wrestool.txt "size=$firstSize]" "$name: wrestool payload size"
    if [ "$variant" = bare ]; then
        [ "$(sections "s-$name.exe")" -eq $((before + 1)) ] || fail "$name: no section added"
    else
        # The other resources, byte for byte.
        kept "$stub" "s-$name.exe" "$name"
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

    # A maker's resources: the icon file whole as G_ICON (wrestool writes a
    # few bytes more behind the icon file it puts together), version
    # information in French, a manifest; the same bytes every time.
    # (The output's name is in the version information: the copies that
    # are compared take the same name in folders of their own.)
    mkdir -p same again
    velpack make --stub "$stub" first.bin -o "u-$name.exe" "$@"
    expect 0 "$name: make with resources"
    velpack make --stub "$stub" first.bin -o "same/u-$name.exe" "$@"
    cmp -s "u-$name.exe" "same/u-$name.exe" || fail "$name: not reproducible with resources"
    sound "u-$name.exe" "$name with resources"
    wrestool -l "u-$name.exe" >wrestool.txt 2>&1 || fail "$name: wrestool -l with resources"
    says wrestool.txt "--type=14 --name='G_ICON' --language=0 [type=group_icon" "$name: icon group"
    says wrestool.txt "--type=16 --name=1 --language=1036 [type=version" "$name: version"
    says wrestool.txt "--type=24 --name=1 --language=0" "$name: manifest"
    wrestool -x --type=14 --name=G_ICON "u-$name.exe" | head -c "$iconSize" | cmp -s - setup.ico ||
        fail "$name: G_ICON is not the icon file"
    kept "$stub" "u-$name.exe" "$name with resources"
    # Again from its own output: the group's images are replaced in place.
    velpack make --stub "u-$name.exe" second.bin -o "again/u-$name.exe" "$@"
    expect 0 "$name: make with resources again"
    resources "u-$name.exe" >u.txt
    resources "again/u-$name.exe" >again.txt
    cmp -s u.txt again.txt || fail "$name: resources again: $(diff u.txt again.txt | tr '\n' ' ')"
    kept "u-$name.exe" "again/u-$name.exe" "$name with resources again"

    if [ -n "$WINE" ] && [ "$arch" = "$RUN_ARCH" ]; then
        "$WINE" "./u-$name.exe" first.bin >run.txt 2>&1 || fail "$name: run with resources: $(cat run.txt)"
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
