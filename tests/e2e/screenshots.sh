#!/bin/sh
# Screenshots of what the user sees: the confirmation dialog and the message
# boxes (no information, damaged setup), taken from the test display with
# ImageMagick's import and checked for size and position (centred on the screen), and the dialog's logo for every
# pixel; the dialog is then answered with a real key press (xdotool), and the
# run must go on to install.exe. Signed with Authenticode, the same setup
# still extracts and starts install.exe.
#
# usage: screenshots.sh WINE_RUN VELPACK_EXE STUB_EXE PROBE_EXE OUT_DIR
set -eu
run=$1 velpack=$2 stub=$3 probe=$4 out=$5
state=$(dirname "$run")/wine
DISPLAY=$(cat "$state/display")
export DISPLAY
import=/usr/bin/import
convert=/usr/bin/convert
compare=/usr/bin/compare
logo=$(dirname "$0")/../../resources/logo.bmp
work=$out/screenshots
rm -rf "$work"
mkdir -p "$work/titled" "$work/empty"

fail() {
    echo "screenshots: $*" >&2
    exit 1
}

. "$(dirname "$0")/../../scripts/gui-steps.sh"

# Checks that window w is centred on the screen and that the screenshot shows
# it there: the non-black part of the picture is exactly the window.
check_centred() {  # check_centred WINDOW PICTURE
    eval "$(xdotool getwindowgeometry --shell "$1")"
    screen=$(xdotool getdisplaygeometry)
    sw=${screen% *}
    sh=${screen#* }
    want_x=$(((sw - WIDTH) / 2))
    want_y=$(((sh - HEIGHT) / 2))
    [ "$X" -ge $((want_x - 1)) ] && [ "$X" -le $((want_x + 1)) ] ||
        fail "$2: window at x $X, centred would be $want_x"
    [ "$Y" -ge $((want_y - 1)) ] && [ "$Y" -le $((want_y + 1)) ] ||
        fail "$2: window at y $Y, centred would be $want_y"
    box=$("$convert" "$2" -fuzz 2% -trim -format '%w %h %X %Y' info:)
    [ "$box" = "$WIDTH $HEIGHT +$X +$Y" ] ||
        fail "$2: picture shows $box, window is $WIDTH $HEIGHT +$X +$Y"
    echo "$2: ${WIDTH}x$HEIGHT at $X,$Y on ${sw}x$sh"
}

# message_box SETUP PICTURE STATUS: runs work/SETUP, whose message box is
# saved as out/PICTURE and checked, answers it with Enter, and expects the
# launcher's exit status STATUS.
message_box() {
    "$run" "$work/$1" &
    launcher=$!
    w=$(wait_window "$1") || fail "$1: no message box"
    sleep 0.5
    "$import" -window root "$out/$2"
    check_centred "$w" "$out/$2"
    xdotool windowfocus "$w" key Return
    status=0
    wait $launcher || status=$?
    [ "$status" = "$3" ] || fail "$1 ended with $status, not $3"
}

# The confirmation dialog, answered with Enter.
cp "$probe" "$work/titled/install.exe"
printf '[Produit]\r\nInstall=Capture \351cran\r\n' >"$work/titled/app.ist"
"$run" "$velpack" make --stub "$stub" "$work/titled" -o "$work/shot.exe" >/dev/null
temp=$(wine_temp "$run")
[ -d "$temp" ] || fail "no temporary folder ($temp)"
tmp_vel=$temp/tmp_vel
rm -f "$tmp_vel/install.exe.report"
"$run" "$work/shot.exe" &
launcher=$!
w=$(wait_window shot.exe) || fail "no confirmation dialog"
sleep 0.5
"$import" -window root "$out/confirmation.png"
check_centred "$w" "$out/confirmation.png"
# The static control decodes the run-length encoded bitmap itself: the logo
# must show exactly the picture of logo.bmp, from the top left corner of the
# dialog's client area, inside the 3-pixel frame that hides its last rows.
eval "$(xdotool getwindowgeometry --shell "$w")"
shown=229x$((113 - 6))
"$convert" "$out/confirmation.png" -crop "$shown+$((X + 3))+$((Y + 3))" +repage "$work/shown.png"
"$convert" "$logo" -crop "$shown+0+0" +repage "$work/logo.png"
differ=$("$compare" -metric AE "$work/shown.png" "$work/logo.png" null: 2>&1 || true)
[ "$differ" = 0 ] || fail "$out/confirmation.png: the logo differs from logo.bmp in $differ pixels"
xdotool windowfocus "$w" key Return
wait $launcher || fail "the launcher ended with an error"
wait_file "$tmp_vel/install.exe.report" || fail "Enter did not lead to install.exe"

# The same setup signed (by the host's osslsigncode: under Wine velpack.exe
# has none to run) still finds its payload, extracts it and goes on.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmar e2e" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null || fail "openssl req"
osslsigncode sign -h sha256 -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/shot.exe" \
    -out "$work/signed.exe" >/dev/null || fail "osslsigncode sign"
rm -f "$tmp_vel"/*
"$run" "$work/signed.exe" auto=1 || fail "the signed launcher ended with an error"
wait_file "$tmp_vel/install.exe.report" || fail "the signed launcher did not start install.exe"
cmp -s "$work/titled/app.ist" "$tmp_vel/app.ist" || fail "the signed launcher did not extract app.ist"

# The message box of an archive without title or program.
printf 'rien\r\n' >"$work/empty/readme.txt"
"$run" "$velpack" make --stub "$stub" "$work/empty" -o "$work/empty.exe" >/dev/null
message_box empty.exe message.png 1

# The message box of a damaged setup: one byte of a stored content altered.
printf 'Install=Produit\r\n' >"$work/empty/app.ist"
"$run" "$velpack" make --stub "$stub" "$work/empty" -o "$work/damaged.exe" --stored \
    --plain-names >/dev/null
at=$(grep -obUa 'rien' "$work/damaged.exe" | head -n 1 | cut -d: -f1)
[ -n "$at" ] || fail "no stored content in damaged.exe"
printf 'R' | dd of="$work/damaged.exe" bs=1 seek="$at" conv=notrunc status=none
message_box damaged.exe damaged.png 2
rm -rf "$work"
