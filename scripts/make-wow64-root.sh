#!/bin/sh
# Makes ROOT, the minimal Debian trixie root in which the i686 build runs:
# Wine 10 (amd64) in its new WoW64 mode, which runs 32-bit Windows code inside
# a 64-bit process and so needs no 32-bit Linux library (these kernels load
# no 32-bit ELF program). Debian's amd64 Wine ships an empty i386-windows
# folder; the 32-bit PE DLLs are taken from libwine:i386, downloaded and
# unpacked, never installed (an installed i386 Wine makes Wine look for its
# 32-bit loader). Trixie's Wine needs trixie's C library: hence a root of
# its own rather than the host's Wine 8.
#
# usage: make-wow64-root.sh ROOT
#
# Does nothing when ROOT is there. Otherwise builds it in ROOT.part and
# renames it when complete (about 3 minutes and 0.8 GB; needs root and
# Debian's archive), under a lock so that two runs make it once. Mounts
# (proc, for the package scripts) exist only inside a private mount
# namespace (scripts/private-mounts.sh) of the steps that need them: nothing
# is ever mounted in the root where this script deletes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$1
case "$root" in
/*) ;;
*) root=$(pwd)/$root ;;
esac
part=$root.part
wine_dir=usr/lib/x86_64-linux-gnu/wine

[ -x "$root/usr/lib/wine/wine64" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "make-wow64-root: making $root needs root (debootstrap, chroot, mounts)" >&2
    exit 1
fi
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
# Made by another run while this one waited.
[ -x "$root/usr/lib/wine/wine64" ] && exit 0

echo "make-wow64-root: making $root (Debian trixie and its Wine 10; a few minutes, once)" >&2
start=$(date +%s)
# Whoever held the lock before has ended, and with it any namespace of its
# steps: nothing is mounted in a leftover .part.
rm -rf "$part"
log=$root.log
: >"$log"
# The steps that run programs of the root, each in a namespace of its own.
in_root() {
    "$here/private-mounts.sh" sh -c '
        part=$1
        shift
        mount -t proc proc "$part/proc"
        exec chroot "$part" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
            LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"' sh "$part" "$@" >>"$log" 2>&1
}
fail() {
    echo "make-wow64-root: $* (see $log)" >&2
    exit 1
}

"$here/private-mounts.sh" \
    debootstrap --variant=minbase --arch=amd64 trixie "$part" >>"$log" 2>&1 ||
    fail "debootstrap of trixie failed"
in_root apt-get install -y -q --no-install-recommends wine64 libwine fonts-wine ||
    fail "installing Wine in the root failed"
# The i386 package lists only for the download; nothing i386 is installed.
in_root apt-get -q -o APT::Architectures::=amd64 -o APT::Architectures::=i386 update ||
    fail "reading the i386 package lists failed"
in_root sh -c 'cd /tmp && apt-get -q -o APT::Architectures::=amd64 -o APT::Architectures::=i386 \
    download libwine:i386' || fail "downloading libwine:i386 failed"

# From here on nothing runs in the root: no namespace, no mount.
deb=$(ls "$part"/tmp/libwine_*_i386.deb)
dpkg-deb -x "$deb" "$part/tmp/libwine-i386"
cp -a "$part"/tmp/libwine-i386/usr/lib/i386-linux-gnu/wine/i386-windows/. \
    "$part/$wine_dir/i386-windows/"
[ -f "$part/$wine_dir/i386-windows/kernel32.dll" ] || fail "no 32-bit kernel32.dll in libwine:i386"
rm -rf "$part/tmp/libwine-i386" "$deb"
# Debian's PE DLLs keep their debug information: two thirds of the root.
for arch in i386:i686 x86_64:x86_64; do
    find "$part/$wine_dir/${arch%%:*}-windows" -type f \
        \( -name '*.dll' -o -name '*.exe' -o -name '*.sys' -o -name '*.drv' \) \
        -exec "${arch#*:}-w64-mingw32-strip" --strip-debug {} + ||
        fail "stripping the ${arch%%:*} PE files failed"
done
rm -rf "$part"/var/cache/apt/archives/*.deb "$part"/var/cache/apt/*.bin "$part"/var/lib/apt/lists/* \
    "$part"/usr/share/doc "$part"/usr/share/man
mv "$part" "$root"
echo "make-wow64-root: $root made in $(($(date +%s) - start)) s, $(du -sh "$root" | cut -f1)" >&2
