#!/bin/sh
# The installer-like corpus through velpack pack -> make -> test -> extract:
# every file comes back with its bytes and modification time. The corpus
# keeps its files in subfolders; they are gathered into one folder (as
# links) first, since a payload holds bare names.
#
#   corpus.sh VELPACK WORK STUB CORPUS
VELPACK=$1
WORK=$2
STUB=$3
CORPUS=$4
. "$(dirname "$0")/common.sh"

mkdir flat
for f in "$CORPUS"/* "$CORPUS"/*/*; do
    [ -f "$f" ] || continue
    [ ! -e "flat/${f##*/}" ] || fail "two corpus files named ${f##*/}"
    ln -s "$f" "flat/${f##*/}"
done
count=$(ls flat | wc -l)

velpack pack flat -o corpus.bin
expect 0 "pack"
velpack make --stub "$STUB" corpus.bin -o setup.exe
expect 0 "make"
velpack test setup.exe
expect 0 "test"
says out.txt "setup.exe: $count entries, all sound" "test"
velpack extract setup.exe out
expect 0 "extract"
same_files flat out "extract"
[ "$(ls out | wc -l)" -eq "$count" ] || fail "extract wrote $(ls out | wc -l) files of $count"
if [ -n "$WINE" ]; then
    "$WINE" ./setup.exe corpus.bin >run.txt 2>&1 || fail "setup.exe does not read its payload: $(cat run.txt)"
fi

finish
