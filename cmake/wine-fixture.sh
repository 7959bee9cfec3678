#!/bin/sh
# Starts (start) or ends (stop) the Wine environment of one build folder's test
# run: a private prefix under STATE/prefix, a persistent wineserver, and an
# Xvfb of its own when no display is set (or VEL_XVFB=1 asks for one).
#
# Every background process gets /dev/null for all of its file descriptors:
# a helper that keeps CTest's pipe open makes each test wait for it.
set -eu
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)

export WINEPREFIX="$state/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
# The Debian wrapper passes -p0 of its own; the server proper takes -p.
wineserver=/usr/lib/wine/wineserver64

start_xvfb() {
    n=91
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ]; do
        i=$((i + 1))
        if [ $i -gt 100 ]; then
            echo "wine-fixture: Xvfb :$n did not start" >&2
            exit 1
        fi
        sleep 0.1
    done
    echo ":$n" >"$state/display"
}

case "$action" in
start)
    rm -f "$state/display"
    if [ -z "${DISPLAY:-}" ] || [ "${VEL_XVFB:-0}" = 1 ]; then
        start_xvfb
    else
        echo "$DISPLAY" >"$state/display"
    fi
    DISPLAY=$(cat "$state/display")
    export DISPLAY
    mkdir -p "$WINEPREFIX"
    # Answers 2 when a server of this prefix runs already; that one serves.
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$state/prefix-ready" ]; then
        "$wine" wineboot --init </dev/null >/dev/null 2>&1
        # Without a window manager Wine waits 2 s per window for one to
        # manage it; an unmanaged window appears at once.
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
            </dev/null >/dev/null 2>&1
        # A crashing test must end, not wait in the debugger's dialog.
        "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
            /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
        touch "$state/prefix-ready"
    else
        # The first program of a session starts Wine's services (services.exe,
        # winedevice.exe...), which live as long as the server and keep the
        # starter's file descriptors: start them here, on /dev/null, not
        # from a test whose output pipe CTest waits on.
        "$wine" wineboot </dev/null >/dev/null 2>&1
    fi
    ;;
stop)
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display"
    ;;
*)
    echo "usage: wine-fixture.sh start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
