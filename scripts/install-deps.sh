#!/bin/sh
# Installs, from Debian's archive only, whatever the build, the tests, the
# benchmark and the demo need and this machine lacks. Safe to run again: when
# everything is present it only checks and returns.
#
# Never wine32 and never an i386 package: with them /usr/bin/wine picks the
# 32-bit loader and every test fails. We call /usr/lib/wine/wine64 directly.
# The i686 build runs under Wine 10 in a Debian trixie root of its own
# (scripts/make-wow64-root.sh), made with debootstrap on first use.
#
# install-deps.sh bench: also what make bench alone needs: NSIS, the setup
# builder that bench/users-view.sh measures ours against.
set -eu

PACKAGES="cmake ninja-build make g++ clang libclang-rt-14-dev libgtest-dev googletest
libbenchmark-dev zlib1g-dev libz-mingw-w64-dev libzstd-dev zstd libcli11-dev nlohmann-json3-dev
g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
binutils-mingw-w64-i686 wine64 fonts-wine xvfb xauth x11-utils imagemagick xdotool
icoutils binutils file zip unzip time osslsigncode openssl help2man dpkg-dev
debootstrap"
if [ "${1:-}" = bench ]; then
    PACKAGES="$PACKAGES nsis"
fi

missing=""
for p in $PACKAGES; do
    # dpkg-query prints "install ok installed" for a package that is really there.
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        *"ok installed") ;;
        *) missing="$missing $p" ;;
    esac
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "install-deps: installing:$missing" >&2
SUDO=""
if [ "$(id -u)" != 0 ]; then
    SUDO=sudo
fi
export DEBIAN_FRONTEND=noninteractive
# A stale package list makes apt-get ask for versions that are gone.
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
