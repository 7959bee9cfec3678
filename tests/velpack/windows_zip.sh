#!/bin/sh
# The Windows zip of velpack (scripts/velpack-windows-zip.sh, as make package
# makes it) from this build's velpack.exe and the product stub: made again
# from copies of other times and permissions, it is the same file. Unpacked
# into a folder with blanks and accents, its velpack.exe makes a setup from
# a folder whose name the ANSI code page cannot spell, without --stub, and
# lists, tests and extracts it under such names; bound into a stub this
# machine runs, the setup unpacks the files into tmp_vel.
#
# usage: windows_zip.sh VELPACK_EXE WORK PRODUCT_STUB RUN_STUB INSTALL_EXE
VELPACK=$1
WORK=$2
PRODUCT_STUB=$3
RUN_STUB=$4
INSTALL=$5
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
. "$here/common.sh"
. "$source_root/scripts/gui-steps.sh"

e_acute=$(printf '\303\251')
# "Файлы продукта", "Установка", "Извлечено", "Заглушка", "Ключи"
files=$(printf '\320\244\320\260\320\271\320\273\321\213 \320\277\321\200\320\276\320\264\321\203\320\272\321\202\320\260')
setup=$(printf '\320\243\321\201\321\202\320\260\320\275\320\276\320\262\320\272\320\260').exe
extracted=$(printf '\320\230\320\267\320\262\320\273\320\265\321\207\320\265\320\275\320\276')
stubs=$(printf '\320\227\320\260\320\263\320\273\321\203\321\210\320\272\320\260')
keys=$(printf '\320\232\320\273\321\216\321\207\320\270')

# windows PATH: the Windows name of a Unix path (Wine's drive Z:).
windows() {
    printf 'Z:%s' "$1" | tr / '\\'
}

# The zip, and again from copies of its files with other times and
# permissions.
zip_script=$source_root/scripts/velpack-windows-zip.sh
readme=$source_root/docs/velpack-windows.txt
sh "$zip_script" velpack.zip "$VELPACK" "$PRODUCT_STUB" "$readme" "$WINE" "$VELPACK" 2>zip.log ||
    fail "velpack-windows-zip.sh: $(cat zip.log)"
mkdir again
cp "$VELPACK" "$PRODUCT_STUB" "$readme" again/
touch -d '2001-02-03 04:05:06' again/*
chmod 600 again/*
sh "$zip_script" again.zip again/velpack.exe again/velstub.exe again/velpack-windows.txt \
    "$WINE" again/velpack.exe 2>zip.log || fail "velpack-windows-zip.sh again: $(cat zip.log)"
cmp -s velpack.zip again.zip || fail "the zip made again from the same files differs"
listing=$(unzip -Z1 velpack.zip | tr '\n' ' ')
[ "$listing" = "COMMANDS.txt README.txt velpack.exe velstub.exe " ] || fail "zip holds: $listing"

# Unpacked where Windows programs go, under a name with a blank and accents.
tools="$(dirname "$WINE")/wine/prefix/drive_c/Program Files/Outils velpack $e_acute"
rm -rf "$tools"
mkdir -p "$tools"
unzip -q velpack.zip -d "$tools" || fail "unzip"
for text in README.txt COMMANDS.txt; do
    [ "$(od -An -tx1 -N3 "$tools/$text" | tr -d ' ')" = efbbbf ] || fail "$text: no UTF-8 byte-order mark"
    [ "$(grep -c "$(printf '\r')\$" "$tools/$text")" = "$(wc -l <"$tools/$text")" ] ||
        fail "$text: not every line ends in CRLF"
done
says "$tools/COMMANDS.txt" "Usage: velpack make [OPTIONS] INPUT" "COMMANDS.txt"
VELPACK="C:\\Program Files\\Outils velpack $e_acute\\velpack.exe"

mkdir "$files" "$stubs" "$keys"
cp "$INSTALL" "$files/install.exe"
printf 'Bonjour\r\n' >"$files/lisez-moi.txt"
printf 'accents\r\n' >"$files/donn${e_acute}es ${e_acute}t${e_acute}.txt"
touch -d '2020-02-29 12:34:56' "$files"/*

# Without --stub the zip's velstub.exe is the one candidate there is.
velpack make "$(windows "$WORK/$files")" -o "$(windows "$WORK/$setup")" --title "Produit $e_acute"
expect 0 "make without --stub"
velpack list "$(windows "$WORK/$setup")"
expect 0 "list"
says out.txt "donn${e_acute}es ${e_acute}t${e_acute}.txt" "list"
velpack test "$(windows "$WORK/$setup")"
expect 0 "test"
says out.txt "4 entries, all sound" "test"
velpack extract "$(windows "$WORK/$setup")" "$(windows "$WORK/$extracted/$files")"
expect 0 "extract into new folders"
same_files "$files" "$extracted/$files" "extract"

# A stub, and the signer's files, by such names: read (with osslsigncode.exe
# missing, signing fails after them, where an unreadable file would be a
# usage error).
cp "$RUN_STUB" "$stubs/velstub.exe"
printf 'x' >"$keys/cert.pem"
printf 'x' >"$keys/key.pem"
velpack make "$(windows "$WORK/$files")" -o refused.exe --sign-cert "$(windows "$WORK/$keys/cert.pem")" \
    --sign-key "$(windows "$WORK/$keys/key.pem")"
expect 1 "make with the signer's files"
says err.txt "cannot sign: osslsigncode.exe not found on PATH" "make with the signer's files"
velpack make --stub "$(windows "$WORK/$stubs/velstub.exe")" "$(windows "$WORK/$files")" \
    -o "$(windows "$WORK/run-$setup")" --title "Produit $e_acute"
expect 0 "make --stub"

temp=$(wine_temp "$WINE")
rm -rf "$temp/tmp_vel"
"$WINE" "$(windows "$WORK/run-$setup")" auto=1 >out.txt 2>err.txt
status=$?
expect 0 "the setup with auto=1"
same_files "$files" "$temp/tmp_vel" "the setup's files in tmp_vel"
wait_file "$temp/tmp_vel/install.exe.report" || fail "the setup did not start install.exe"

rm -rf "$tools"
finish
