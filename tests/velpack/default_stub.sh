#!/bin/sh
# velpack make without --stub binds into the 32-bit product stub: the one of
# the build tree, then, after cmake --install, the installed one; without any
# stub it says where it looked.
#
# usage: default_stub.sh VELPACK WORK BUILD_DIR
VELPACK=$1
WORK=$2
BUILD=$3
. "$(dirname "$0")/common.sh"

# machine FILE: the PE machine field of FILE in hexadecimal (014c: i386).
machine() {
    at=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    od -An -t x2 -j $((at + 4)) -N 2 "$1" | tr -d ' '
}

mkdir files
printf 'x\r\n' >files/readme.txt

velpack make files -o tree.exe
expect 0 "make with the build tree's stub"
[ "$(machine tree.exe)" = 014c ] || fail "the default stub is not the 32-bit one: $(machine tree.exe)"
velpack list tree.exe
expect 0 "list of the default setup"
says out.txt "readme.txt" "list of the default setup"

# An installation: velpack and the stub where the lookup finds them.
if ! cmake --install "$BUILD" --prefix "$WORK/prefix" >install.log 2>&1; then
    cat install.log >&2
    fail "cmake --install"
fi
installed=$(find "$WORK/prefix/bin" -name 'velpack*' | head -n 1)
VELPACK=$installed
velpack make files -o installed.exe
expect 0 "make with the installed stub"
[ "$(machine installed.exe)" = 014c ] || fail "the installed default stub is not the 32-bit one"

# Nowhere to be found: a copy of velpack alone in a folder.
mkdir -p alone/bin
cp "$installed" alone/bin/
VELPACK=$WORK/alone/bin/$(basename "$installed")
velpack make files -o none.exe
expect 1 "make without any stub"
says err.txt "no launcher stub found" "make without any stub"
[ ! -e none.exe ] || fail "a setup was written without a stub"

exit $((failures > 0))
