#!/bin/bash
# make-corpus.sh OUTDIR - recreate the installer-payload benchmark corpus (66 files, 49,807,094 bytes), from Debian 12 packages only.
# Needs: libwine:amd64 (pulled in by wine64, 8.0~repack-4), fonts-wine, binutils (objcopy), imagemagick (/usr/bin/convert),
# base-files (common-licenses), and the man pages of bash, dpkg, findutils, grep, tar, gzip, sed, coreutils.
# Wine's PE files carry DWARF sections that shipped Windows binaries do not, so they are stripped with objcopy
# --strip-debug; objcopy stamps the current time into the PE header, so TimeDateStamp and CheckSum are copied back
# from the original, which makes the output byte-identical run to run (same package versions => same bytes).
set -euo pipefail
out=${1:?usage: make-corpus.sh OUTDIR}
mkdir -p "$out"/bin "$out"/data "$out"/text "$out"/img

W=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
PE="shell32.dll kernelbase.dll wined3d.dll mshtml.dll msxml3.dll windowscodecs.dll comctl32.dll msi.dll
msvcp140.dll mshtml.tlb msvcr120.dll ucrtbase.dll winecfg.exe cmd.exe regedit.exe taskmgr.exe wordpad.exe
shlwapi.dll ntoskrnl.exe hhctrl.ocx advapi32.dll appwiz.cpl l3codeca.acm notepad.exe d3dcompiler_47.dll
explorer.exe ws2_32.dll xcopy.exe msiexec.exe mountmgr.sys version.dll rundll32.exe stdole2.tlb"
for f in $PE; do
  src=$W/$f dst=$out/bin/$f
  objcopy --strip-debug "$src" "$dst"
  so=$(od -An -tu4 -j60 -N4 "$src" | tr -d ' ')   # e_lfanew of each (objcopy may move the PE header)
  dso=$(od -An -tu4 -j60 -N4 "$dst" | tr -d ' ')
  for field in 8 88; do                              # COFF TimeDateStamp, optional-header CheckSum
    dd if="$src" of="$dst" bs=1 skip=$((so + field)) seek=$((dso + field)) count=4 conv=notrunc status=none
  done
done

# Binary data a Windows app ships: NLS tables and fonts (fonts-wine / libwine)
N=/usr/share/wine/nls
cp "$N"/sortdefault.nls "$N"/locale.nls "$N"/c_936.nls "$N"/normidna.nls "$out"/data/
F=/usr/share/wine/fonts
cp "$F"/tahoma.ttf "$F"/tahomabd.ttf "$F"/ms_sans_serif.ttf "$F"/sserife.fon "$F"/vgasys.fon "$out"/data/

# Text: licences, an .inf, man pages (roff source, uncompressed)
L=/usr/share/common-licenses
for f in GPL-2 GPL-3 LGPL-2.1 Apache-2.0 MPL-2.0 GFDL-1.3 Artistic; do cp "$L/$f" "$out/text/$f.txt"; done
cp /usr/share/wine/wine.inf "$out"/text/
for m in bash dpkg find grep tar gzip sed ls; do zcat "/usr/share/man/man1/$m.1.gz" > "$out/text/$m.1"; done

# Images: uncompressed BMPs of the kinds installers carry (wizard/banner art, gradients, noisy art) and a PNG
C=/usr/bin/convert
$C -size 800x600 gradient:navy-white bmp3:"$out"/img/gradient.bmp
$C wizard: bmp3:"$out"/img/wizard.bmp
$C wizard: -resize '164x314!' bmp3:"$out"/img/wizard164.bmp
$C logo: bmp3:"$out"/img/logo.bmp
$C logo: -resize '150x57!' -colors 256 bmp3:"$out"/img/header8.bmp
$C -seed 7 -size 640x480 plasma:fuchsia-yellow bmp3:"$out"/img/plasma.bmp
$C rose: -resize 800% bmp3:"$out"/img/rose.bmp
$C logo: -strip -define png:exclude-chunks=date,time png:"$out"/img/logo.png

find "$out" -type f -printf '%s\n' | awk '{s += $1; n++} END {printf "%d files, %d bytes (%.1f MB)\n", n, s, s / 1e6}'
