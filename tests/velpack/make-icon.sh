#!/bin/sh
# Draws the icon file that the tests give velpack make --icon, with
# ImageMagick: the sizes and depths a maker's icon holds, the 256 x 256
# image PNG-compressed (as ImageMagick stores that size) and the others as
# bitmaps of 32, 8, 4 and 1 bits per pixel.
#
#   make-icon.sh OUT.ico
set -eu
out=$1
work=$out.parts
rm -rf "$work"
mkdir -p "$work"
convert -size 256x256 'gradient:#f0c020-#203080' -fill '#c03020' -draw 'circle 128,128 128,40' \
    -depth 8 "PNG32:$work/256.png"
convert "$work/256.png" -resize 48x48 "PNG32:$work/48.png"
convert "$work/256.png" -resize 32x32 -colors 200 "PNG8:$work/32.png"
convert "$work/256.png" -resize 16x16 -colors 12 "PNG8:$work/16.png"
convert "$work/256.png" -resize 16x16 -monochrome "PNG8:$work/16-mono.png"
convert "$work/256.png" "$work/48.png" "$work/32.png" "$work/16.png" "$work/16-mono.png" \
    "$work/icon.ico"
mv "$work/icon.ico" "$out"
rm -rf "$work"
