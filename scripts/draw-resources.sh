#!/bin/sh
# Draws the launcher's own artwork with ImageMagick (Debian's imagemagick,
# fonts from fonts-wine) and writes it into resources/:
#   logo.bmp     the VEL_L bitmap: 229 x 113, 8 bits per pixel, as the dialog
#                shows it; drawn with a palette of at most 256 colours, then
#                run-length encoded (BI_RLE8) by scripts/bmp-rle8.pl with the
#                palette cut after the last colour used (27 KB uncompressed,
#                4.5 KB so: the stub carries it)
#   velstub.ico  the G_ICON icon: 32 x 32 and 16 x 16 at 32 bits per pixel
#                (the alpha channel smooths the disc's edge); Windows shows
#                the file with the 32 x 32 image in Explorer's icon views and
#                the 16 x 16 one in its lists, and would scale the other down
#                (blurred) if one were missing
# The results are committed; run this only to change the artwork.
set -eu
cd "$(dirname "$0")/.."
convert=/usr/bin/convert   # another "convert" may come first on PATH
fonts=/usr/share/wine/fonts
bold=$fonts/tahomabd.ttf
regular=$fonts/tahoma.ttf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

navy='#1d3f73'
teal='#2a8a98'
grey='#5b6573'

# The emblem: a chevron "V" of two bars, the right one lighter, over a disc.
emblem() {  # emblem SIZE OUTPUT
    s=$1
    "$convert" -size "${s}x${s}" xc:none \
        -fill '#e3eef8' -draw "circle $((s / 2)),$((s / 2)) $((s / 2)),1" \
        -fill "$navy" -draw "polygon $((s * 10 / 64)),$((s * 12 / 64)) $((s * 23 / 64)),$((s * 12 / 64)) $((s * 36 / 64)),$((s * 46 / 64)) $((s * 29 / 64)),$((s * 56 / 64))" \
        -fill "$teal" -draw "polygon $((s * 41 / 64)),$((s * 12 / 64)) $((s * 54 / 64)),$((s * 12 / 64)) $((s * 35 / 64)),$((s * 56 / 64)) $((s * 29 / 64)),$((s * 42 / 64))" \
        "$2"
}

emblem 64 "$tmp/emblem64.png"
"$convert" -size 229x113 gradient:'#ffffff-#d6e4f2' \
    "$tmp/emblem64.png" -geometry +10+8 -composite \
    -font "$bold" -pointsize 27 -fill "$navy" -annotate +80+44 'Velmar' \
    -font "$regular" -pointsize 13 -fill "$grey" -annotate +82+63 'Informatique' \
    -fill "$teal" -draw 'rectangle 10,80 218,81' \
    -font "$regular" -pointsize 11 -fill "$grey" -annotate +10+101 "Programme d'installation" \
    +dither -type Palette -colors 256 -compress None BMP3:"$tmp/logo.bmp"
perl scripts/bmp-rle8.pl "$tmp/logo.bmp" resources/logo.bmp

# Icons: drawn large and scaled, so that the small sizes stay smooth.
emblem 256 "$tmp/emblem256.png"
"$convert" "$tmp/emblem256.png" -resize 32x32 "$tmp/icon32.png"
"$convert" "$tmp/emblem256.png" -resize 16x16 "$tmp/icon16.png"
"$convert" "$tmp/icon32.png" "$tmp/icon16.png" resources/velstub.ico
