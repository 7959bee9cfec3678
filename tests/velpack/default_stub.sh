#!/bin/sh
# velpack make without --stub binds into the 32-bit product stub: the one of
# the build tree, then the installed one (from the Debian package on the
# host, with its man page; after cmake --install for Windows); without any
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

# An installation: velpack and the stub where the lookup finds them. On the
# host, the Debian package of this build (what make package makes of the
# release build), unpacked into a scratch root; for Windows, cmake --install.
if [ -n "$WINE" ]; then
    if ! cmake --install "$BUILD" --prefix "$WORK/prefix" >install.log 2>&1; then
        cat install.log >&2
        fail "cmake --install"
    fi
    installed=$(find "$WORK/prefix/bin" -name 'velpack*' | head -n 1)
else
    if ! cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/package" >cpack.log 2>&1; then
        cat cpack.log >&2
        fail "cpack"
    fi
    # The version velpack gives is the package's.
    version=$("$VELPACK" --version)
    version=${version#velpack }
    deb=package/velpack_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || fail "no $deb: $(ls package)"
    dpkg-deb -f "$deb" Package Version Recommends >fields.txt
    printf 'Package: velpack\nVersion: %s\nRecommends: osslsigncode\n' "$version" |
        cmp -s - fields.txt || fail "package fields: $(cat fields.txt)"
    dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "the package depends on no libc6"
    dpkg -x "$deb" root
    zcat root/usr/share/man/man1/velpack.1.gz | grep -q '^\.SS "velpack make"' ||
        fail "no man page for velpack make"
    installed=$WORK/root/usr/bin/velpack
fi
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
