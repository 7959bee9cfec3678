#!/bin/sh
# Builds the test stub (payload_echo) in one of the layouts velpack make must
# handle, with the mingw compilers directly, so that every configuration has
# PE32 and PE32+ stubs to bind payloads into.
#
#   make-stub.sh ARCH VARIANT OUT ROOT
#     ARCH     x86_64 or i686
#     VARIANT  full      as linked: .rsrc, then .reloc and debug sections
#              stripped  -s: .rsrc, then .reloc
#              extra     stripped, then a section that may not move
#                        (neither discardable nor reached through .reloc)
#              bare      stripped, without any resource
set -eu
arch=$1
variant=$2
out=$3
root=$4
tool=$arch-w64-mingw32
mkdir -p "$(dirname "$out")"
resources=""
if [ "$variant" != bare ]; then
    "$tool-windres" -I"$root" "$root/tests/velpack/payload_echo.rc" -O coff -o "$out.res.o"
    resources="$out.res.o"
fi
strip=-s
[ "$variant" = full ] && strip=""
# shellcheck disable=SC2086
"$tool-g++-win32" -I"$root" -static -Os -Wall -Wextra -Werror $strip \
    "$root/tests/velpack/payload_echo.cpp" $resources -o "$out"
if [ "$variant" = extra ]; then
    # The first page behind every section, as an address of the image.
    end=0
    for line in $("$tool-objdump" -h "$out" | awk '$1 ~ /^[0-9]+$/ { print $3 ":" $4 }'); do
        size=${line%%:*}
        vma=${line##*:}
        [ $((0x$vma + 0x$size)) -gt $end ] && end=$((0x$vma + 0x$size))
    done
    address=$(printf '0x%x' $(((end + 0xFFF) / 0x1000 * 0x1000)))
    printf 'a section behind the resources\n' >"$out.extra"
    "$tool-objcopy" --add-section .extra="$out.extra" \
        --set-section-flags .extra=alloc,load,readonly,data \
        --change-section-address .extra="$address" "$out" "$out.tmp"
    mv "$out.tmp" "$out"
    rm -f "$out.extra"
fi
rm -f "$out.res.o"
