#!/bin/sh
# make demo: builds everything, makes the demo setup executables from
# examples/demo, runs the product, the 32-bit one, under Wine 10's WoW64 mode
# (in the Debian trixie root build/wow64, made on first use; inside an Xvfb
# of its own, or on your display when DISPLAY is set), saves a screenshot of
# the confirmation dialog, presses OK, and shows what happened. On a machine
# that runs no 32-bit x86 code (scripts/ia32-probe.sh), where that Wine
# cannot work, it runs the x86_64 twin under the host's Wine instead.
#
#   build/demo/setup32.exe    the product: i686 setup to ship, the one run
#   build/demo/setup.exe      its x86_64 twin, for the host's wine64
#
# Arguments are passed to the setup executable: "auto=1" confirms by itself.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/gui-steps.sh
scripts/install-deps.sh
if probe=$(scripts/ia32-probe.sh); then
    setup=setup32.exe
else
    setup=setup.exe
    echo "$probe"
    echo "demo: this machine runs no 32-bit x86 code: the x86_64 twin setup.exe runs,"
    echo "      under the host's Wine, in place of the product setup32.exe"
fi
scripts/build.sh native win32 win64 >/dev/null

out=$root/build/demo
velpack=$root/build/native/velpack
rm -rf "$out/payload" "$out/payload32"
mkdir -p "$out/payload" "$out/payload32"
for d in payload payload32; do
    cp -p examples/demo/demo.ist examples/demo/readme.txt "$out/$d/"
done
cp -p build/win64/examples/install.exe "$out/payload/"
cp -p build/win32/examples/install.exe "$out/payload32/"
"$velpack" make --stub build/win64/velstub.exe "$out/payload" -o "$out/setup.exe"
# Without --stub: the product stub, build/win32/velstub.exe.
"$velpack" make "$out/payload32" -o "$out/setup32.exe"
echo "made $out/setup.exe and $out/setup32.exe ($(file -b "$out/setup32.exe" | cut -d, -f1))"
echo
"$velpack" list "$out/$setup"
echo

# Wine with a prefix of the demo's own (made on the first run, kept): for the
# product, in the trixie root that the win32 tests use.
if [ "$setup" = setup32.exe ]; then
    state=$out/wine32
    wine() {
        cmake/wine.sh --root "$root/build/wow64" --share "$root" "$state" "$@"
    }
else
    state=$out/wine
    wine() {
        cmake/wine.sh "$state" "$@"
    }
fi
wine start
trap 'wine stop' EXIT
DISPLAY=$(cat "$state/display")
export DISPLAY
temp=$(readlink -f "$(wine_temp wine run)")
wtemp=$(wine run cmd /c echo %TEMP% </dev/null | tr -d '\r')
rm -f "$temp/tmp_vel/install.exe.report"

echo "running: $setup $*"
wine run "$out/$setup" "$@" &
launcher=$!
case " $* " in
*auto=1*)
    echo "(auto=1: the dialog confirms by itself)"
    ;;
*)
    if ! dialog=$(wait_window "$setup"); then
        echo "demo: the confirmation dialog did not appear" >&2
        exit 1
    fi
    sleep 1
    /usr/bin/import -window "$dialog" "$out/confirmation.png"
    echo "screenshot of the confirmation dialog: $out/confirmation.png"
    if [ "${VEL_DEMO_PAUSE:-0}" != 0 ]; then
        sleep "$VEL_DEMO_PAUSE"
    fi
    echo "pressing OK (Enter)"
    xdotool windowfocus "$dialog" key Return
    ;;
esac
wait $launcher
wait_file "$temp/tmp_vel/install.exe.report" || true

printf '\nextraction folder %s\\tmp_vel (%s):\n' "$wtemp" "$temp/tmp_vel"
ls -l --time-style='+%Y-%m-%d %H:%M:%S' "$temp/tmp_vel" | tail -n +2
echo
if [ -f "$temp/tmp_vel/install.exe.report" ]; then
    echo "install.exe received:"
    grep -E '^(command line|current directory):' "$temp/tmp_vel/install.exe.report" | sed 's/^/  /'
else
    echo "install.exe was not started"
fi
