#!/bin/sh
# Makes the zip of velpack for makers who work on Windows (make package:
# build/release/velpack-VERSION-windows-x64.zip). Unpacked anywhere, it is
# ready to use:
#
#   velpack.exe   as given (the win64 build's: static, stripped)
#   velstub.exe   the product stub, beside velpack.exe, where velpack make
#                 finds it without --stub
#   README.txt    the maker's page for Windows (docs/velpack-windows.txt)
#   COMMANDS.txt  velpack --help and every velpack COMMAND --help: the text
#                 the man page is made from (scripts/velpack-manpage.sh)
#
# The two text files are UTF-8 with a byte-order mark and CRLF line ends,
# as every Windows editor reads them. The same input gives the same zip,
# byte for byte: the names in one order, every file with the time of the
# source tree's last commit (SOURCE_DATE_EPOCH, when set, instead), fixed
# permissions, and no owner or further times (zip -X).
#
# usage: velpack-windows-zip.sh OUT.zip VELPACK.EXE VELSTUB.EXE README HELP...
#   HELP: a velpack that runs here, with what runs it: the host's build of
#   the same sources, or "WINE-RUN velpack.exe"
set -eu
if [ $# -lt 5 ]; then
    echo "usage: velpack-windows-zip.sh OUT.zip VELPACK.EXE VELSTUB.EXE README HELP..." >&2
    exit 2
fi
out=$1 velpack=$2 stub=$3 readme=$4
shift 4
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    if ! SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null); then
        echo "velpack-windows-zip: $root is no git tree: set SOURCE_DATE_EPOCH" >&2
        exit 1
    fi
fi
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# help ARGUMENTS...: velpack's help text, with Unix line ends.
help() {
    if ! "$@" --help </dev/null >"$stage/help.raw"; then
        echo "velpack-windows-zip: $* --help failed" >&2
        exit 1
    fi
    tr -d '\r' <"$stage/help.raw"
}

# windows_text: stdin as UTF-8 with a byte-order mark and CRLF line ends.
windows_text() {
    printf '\357\273\277'
    sed 's/$/\r/'
}

# The commands are the names in the first column of "Subcommands:".
reference=$stage/reference
printf 'velpack --help\n==============\n\n' >"$reference"
help "$@" >>"$reference"
for command in $(awk '/^Subcommands:/ { on = 1; next } on && /^  [^ ]/ { print $1 }' "$reference"); do
    heading="velpack $command --help"
    printf '\n\n%s\n%s\n\n' "$heading" "$(printf '%s' "$heading" | tr '[:print:]' '=')" >>"$reference"
    help "$@" "$command" >>"$reference"
done
windows_text <"$reference" >"$stage/COMMANDS.txt"
windows_text <"$readme" >"$stage/README.txt"
cp "$velpack" "$stage/velpack.exe"
cp "$stub" "$stage/velstub.exe"

names="COMMANDS.txt README.txt velpack.exe velstub.exe"
(
    cd "$stage"
    chmod 644 $names
    touch -d "@$SOURCE_DATE_EPOCH" $names
    # zip keeps times as MS-DOS does, in local time: UTC is everyone's.
    TZ=UTC zip -X -9 -q zip.zip $names
)
mv "$stage/zip.zip" "$out.part"
mv "$out.part" "$out"
