#!/bin/sh
# velpack's command line: usage errors, help, the refusals of pack (each
# naming its file, none writing anything), entry order, the refusals of
# make's resource options, and extract on payloads whose names would leave
# the folder.
#
#   cli.sh VELPACK WORK
VELPACK=$1
WORK=$2
. "$(dirname "$0")/common.sh"

# Usage errors are status 2; --help is 0 on every command, and fits an
# 80-column console (cmd.exe's window breaks longer lines anywhere).
narrow() {
    awk 'length > 79 { print "  " length ": " $0; wide = 1 } END { exit wide }' out.txt >wide.txt ||
        fail "$1: lines wider than 79 columns:
$(cat wide.txt)"
}
velpack
expect 2 "no command"
velpack frobnicate
expect 2 "unknown command"
velpack pack
expect 2 "pack without a folder"
mkdir d
velpack pack d
expect 2 "pack without -o"
velpack list --bogus x
expect 2 "unknown option"
velpack pack d -o x.bin --title ""
expect 2 "empty --title"
for c in pack list test extract make encode decode; do
    velpack "$c" --help
    expect 0 "$c --help"
    says out.txt "Usage" "$c --help"
    narrow "$c --help"
done
velpack --version
expect 0 "--version"
version=$(cat out.txt)
case "$version" in
velpack\ [0-9]*.[0-9]*.[0-9]*) ;;
*) fail "--version: $version" ;;
esac
velpack --help
expect 0 "--help"
says out.txt "$version: " "the version in --help"
narrow "--help"

# refused NAME... -- MESSAGE: pack of a folder holding these files fails
# with MESSAGE about the first one and writes no payload.
refused() {
    rm -rf r
    mkdir r
    while [ "$1" != "--" ]; do
        printf 'x' >"r/$1"
        shift
    done
    message=$2
    shift 2
    velpack pack r -o refused.bin "$@"
    expect 1 "pack refuses: $message"
    says err.txt "$message" "pack refuses"
    [ ! -e refused.bin ] || fail "pack refusing '$message' wrote a payload"
}
long=$(printf '%064d' 0)
# Under Wine, names that Windows forbids reach a Windows velpack as files it
# cannot open: refused all the same, with another message.
forbidden() {
    if [ -n "$WINE" ]; then
        refused "$1" -- "not a regular file"
    else
        refused "$1" -- "$2"
    fi
}
refused "$long" -- "velpack: r/$long: the name is 64 bytes in Windows-1252; the launcher reads 63 at most"
forbidden 'a?b' "velpack: r/a?b: the name holds '?', which Windows forbids in file names"
forbidden 'c:x' "velpack: r/c:x: the name holds ':'"
forbidden 'con.txt' "velpack: r/con.txt: the name is a reserved device name of Windows"
forbidden 'x.' "velpack: r/x.: the name ends in a dot or a blank"
refused 'Same.txt' 'same.TXT' -- "only in case; Windows would write one file for both"
refused "$(printf '\346\227\245.txt')" -- "the name does not fit Windows-1252"
refused 'SETUP.IST' -- "differs from the --title entry setup.ist only in case" --title T
refused 'ok' -- "velpack: --title: the title holds a control character" --title "$(printf 'a\tb')"
refused 'ok' -- "the launcher shows 127 at most" --title "$(printf '%0128d' 0)"
refused 'ok' -- "velpack: --title: the title does not fit Windows-1252" --title "$(printf '\346\227\245')"
# Every problem is named, not only the first.
rm -rf r
mkdir -p r/sub
printf 'x' >'r/a b.'
velpack pack r -o refused.bin
expect 1 "pack of a folder with two problems"
says err.txt "velpack: r/sub: is a folder; the launcher writes bare file names only" "subfolder"
says err.txt "velpack: r/a b." "second problem"
# Too large for the format: refused from its size, before it is read.
rm -rf r
mkdir r
truncate -s 2G r/huge.bin
velpack pack r -o refused.bin
expect 1 "pack of a 2 GiB file"
says err.txt "velpack: r/huge.bin: larger than 2 GiB - 1 bytes" "2 GiB"
rm -rf r
velpack pack missing -o refused.bin
expect 1 "pack of a missing folder"
says err.txt "velpack: missing: not a folder" "missing folder"

# Order: byte order of the Windows-1252 names, or the order file first.
rm -rf o
mkdir o
for n in beta Alpha zeta "$(printf '\303\251t\303\251')" _x; do printf '%s' "$n" >"o/$n"; done
velpack pack o -o order.bin
expect 0 "pack for order"
velpack list order.bin
awk '$1 ~ /^[0-9]+$/ { print $NF }' out.txt >names.txt
printf 'Alpha\n_x\nbeta\nzeta\n%s\n' "$(printf '\303\251t\303\251')" >expected.txt
cmp -s names.txt expected.txt || fail "byte order: $(tr '\n' ' ' <names.txt)"
printf 'zeta\r\n\nbeta\n' >order.txt
velpack pack o -o order.bin --order order.txt
expect 0 "pack --order"
velpack list order.bin
awk '$1 ~ /^[0-9]+$/ { print $NF }' out.txt >names.txt
printf 'zeta\nbeta\nAlpha\n_x\n%s\n' "$(printf '\303\251t\303\251')" >expected.txt
cmp -s names.txt expected.txt || fail "--order: $(tr '\n' ' ' <names.txt)"
printf 'zeta\nnothere\nzeta\n' >order.txt
velpack pack o -o refused.bin --order order.txt
expect 1 "pack --order with unknown and repeated names"
says err.txt "velpack: order.txt: lists nothere, which is not a file of the folder" "unknown name"
says err.txt "velpack: order.txt: lists zeta twice" "repeated name"
velpack make --stub missing.exe order.bin -o x.exe --stored
expect 2 "pack options with a payload"

# make_refuses STATUS MESSAGE ARGS...: velpack make with the options of the
# setup executable's resources refuses them with MESSAGE before it reads the
# stub, and writes nothing.
make_refuses() {
    want=$1
    message=$2
    shift 2
    velpack make --stub missing.exe o -o refused.exe "$@"
    expect "$want" "make refuses: $message"
    says err.txt "$message" "make refuses"
    [ ! -e refused.exe ] || fail "make refusing '$message' wrote a setup executable"
}
printf '\000\000\001\000\001\000' >broken.ico
make_refuses 1 "velpack: broken.ico: the image directory runs past the end of the file (image count 1)" \
    --icon broken.ico
printf '<assembly>\n<trustInfo>\n</assembly>\n' >bad.xml
make_refuses 1 "velpack: bad.xml: line 3: <trustInfo> closed by </assembly>" --manifest bad.xml
make_refuses 1 "velpack: --version-info: CompanyName: the value does not fit Windows-1252" \
    --version-info "CompanyName=$(printf '\346\227\245')"
make_refuses 1 "velpack: --title: the title does not fit Windows-1252" --file-version 1.0.0.0 \
    --title "$(printf '\346\227\245')"
make_refuses 1 "velpack: --version-info: companyname is given twice" --version-info CompanyName=a \
    --version-info companyname=b
make_refuses 2 "velpack: --elevation: admin not in {asInvoker,highestAvailable,requireAdministrator}" \
    --elevation admin
make_refuses 2 "velpack: --elevation excludes --manifest" --elevation asInvoker --manifest bad.xml
make_refuses 2 "velpack: --file-version: not a version A.B.C.D" --file-version 1.2.65536.0
make_refuses 2 "velpack: --version-info: not KEY=VALUE" --version-info CompanyName

# le32 N: four little-endian bytes.
le32() {
    v=$(($1 & 0xFFFFFFFF))
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((v & 255)) $((v >> 8 & 255)) \
        $((v >> 16 & 255)) $((v >> 24 & 255)))"
}
# record METHOD NAME CONTENT UNPACKED: one record, right checkword, plain
# name (even methods only), no information text.
record() {
    sum=0
    j=0
    for b in $(printf '%s%s' "$2" "$3" | od -An -v -tu1); do
        sum=$((sum + (j % 16 + 1) * b))
        j=$((j + 1))
    done
    nl=$(printf '%s' "$2" | wc -c)
    le32 $((24 + j))
    le32 $((~(24 + j + $1 + nl + sum)))
    le32 "$1"
    le32 "$nl"
    le32 0
    le32 "$4"
    printf '%s%s' "$2" "$3"
}
{
    le32 4
    record 0 good.txt hello 5
    record 0 ../evil.txt evil 4
    record 0 'sub\x.txt' sub 3
    record 0 'd:x.txt' drive 5
    record 0 con nul 3
    record 2 broken.txt "$(printf '\100\376\141\376\002\001')" 3
    record 0 last.txt last 4
} >names.bin
velpack test names.bin
expect 1 "test of a payload that does not decode"
says err.txt "entry 5 (broken.txt): decoding failed, error code 61" "test names decode"
says err.txt "warning: names.bin: entry 1 (../evil.txt): the launcher skips this entry" "test warns of a skipped name"
says err.txt "warning: names.bin: entry 2 (sub\\x.txt): the name holds a folder separator; the launcher cannot write it" "test warns of a failing name"
mkdir x
velpack extract names.bin x/out
expect 1 "extract of names that would leave the folder"
says err.txt "entry 1 (../evil.txt): not written: the name holds a folder separator" "extract .."
says err.txt "entry 2 (sub\\x.txt): not written: the name holds a folder separator" "extract backslash"
says err.txt "entry 3 (d:x.txt): not written: the name holds ':'" "extract drive"
says err.txt "entry 4 (con): not written: the name is a reserved device name" "extract device"
says err.txt "entry 5 (broken.txt): not written: decoding failed, error code 61" "extract decode"
[ "$(ls x/out | tr '\n' ' ')" = "good.txt last.txt " ] || fail "extract wrote: $(ls x/out)"
[ "$(ls x)" = "out" ] && [ ! -e evil.txt ] || fail "extract wrote outside its folder"
# A link in a name's place is not followed (Wine shows a Windows program
# the file a link points to, not the link).
if [ -z "$WINE" ]; then
    rm x/out/good.txt
    ln -s ../../outside.txt x/out/good.txt
    velpack extract names.bin x/out
    expect 1 "extract over a symbolic link"
    says err.txt "good.txt: a symbolic link is in its place; not followed" "extract link"
    [ ! -e outside.txt ] || fail "extract followed a symbolic link"
fi

finish
