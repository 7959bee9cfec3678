#!/bin/sh
# The Wine of one build folder's test run (or of the demo): a private prefix
# in STATE/prefix, a persistent wineserver, and an Xvfb of its own when no
# display is set (or VEL_XVFB=1 asks for one).
#
# usage: wine.sh [--root ROOT --share DIR...] STATE start|stop
#        wine.sh [--root ROOT --share DIR...] STATE run PROGRAM [ARGUMENTS...]
#
#   start  before the programs: display, prefix (made on first use), server
#   stop   after them: ends the server and the Xvfb that start began
#   run    one Windows program, with the session's display
#
# Without --root it is the host's Wine (Debian 12's Wine 8), which runs the
# x86_64 build. With --root it is Wine 10 in the Debian trixie root ROOT
# (scripts/make-wow64-root.sh; start makes it when missing) in its WoW64
# mode, which runs the i686 build. Every program of the root is entered
# into it inside a private mount namespace (scripts/private-mounts.sh)
# holding proc, /dev, the X11 socket folder, the display's cookie and each
# --share folder at its own path (so that Z:\work\... is the same file for
# both Wines); the mounts end with the namespace's last process, there is
# nothing to unmount, and a deletion in the root from outside never reaches
# through them. start, stop and run must be given the same options.
#
# Every background process gets /dev/null for all of its file descriptors:
# a helper that keeps CTest's pipe open makes each test wait for it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=""
share=""
while [ $# -gt 0 ]; do
    case "$1" in
    --root) root=$2; shift 2 ;;
    --share) share="$share $2"; shift 2 ;;
    *) break ;;
    esac
done
if [ $# -lt 2 ]; then
    echo "usage: wine.sh [--root ROOT --share DIR...] STATE start|stop|run [PROGRAM ARGUMENTS...]" >&2
    exit 2
fi
case "$root" in
"" | /*) ;;
*) root=$(pwd)/$root ;;
esac
if [ -n "$root" ] && [ "$(id -u)" != 0 ]; then
    # Mount namespaces, chroot and the making of the root need it.
    echo "wine.sh: the Wine of $root runs only as root" >&2
    exit 1
fi
state=$(mkdir -p "$1" && cd "$1" && pwd)
if [ -n "$root" ]; then
    # The prefix must be where the root shows it.
    shown=""
    for d in $share; do
        case "$state/" in "$d"/*) shown=$d ;; esac
    done
    if [ -z "$shown" ]; then
        echo "wine.sh: $state is in no --share folder" >&2
        exit 2
    fi
fi
action=$2
shift 2

prefix=$state/prefix
display=""
if [ -f "$state/display" ]; then
    display=$(cat "$state/display")
fi

# wine_exec PROGRAM ARGUMENTS...: runs a program of this Wine installation
# (/usr/lib/wine/...) in the environment of the prefix, in place of this
# shell.
wine_exec() {
    if [ -z "$root" ]; then
        export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml="
        if [ -n "$display" ]; then
            export DISPLAY="$display"
        fi
        exec "$@"
    fi
    # Mount points are made in the root before entering it.
    mounts=""
    if [ -d /tmp/.X11-unix ]; then
        mkdir -p "$root/tmp/.X11-unix"
        mounts=/tmp/.X11-unix
    fi
    for d in $share; do
        mkdir -p "$root$d"
        mounts="$mounts $d"
    done
    # The cookie of a display that asks for one (your own, when DISPLAY is set).
    xauth=${XAUTHORITY:-${HOME:-/root}/.Xauthority}
    if [ -f "$xauth" ]; then
        mkdir -p "$root$(dirname "$xauth")"
        touch "$root$xauth"
        mounts="$mounts $xauth"
    else
        xauth=""
    fi
    exec "$here/../scripts/private-mounts.sh" sh -c '
        root=$1 mounts=$2
        shift 2
        mount -t proc proc "$root/proc"
        mount --rbind /dev "$root/dev"
        for d in $mounts; do
            mount --bind "$d" "$root$d"
        done
        # The program keeps its working folder where the root shows it.
        cwd=/
        if [ -d "$root$PWD" ]; then
            cwd=$PWD
        fi
        exec chroot "$root" /usr/bin/env -i -C "$cwd" HOME=/root PATH=/usr/bin:/bin \
            LANG=C.UTF-8 "$@"' \
        sh "$root" "$mounts" WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" ${display:+DISPLAY="$display"} \
        ${xauth:+XAUTHORITY="$xauth"} "$@"
}

# wine PROGRAM ARGUMENTS...: a program under Wine, to its end, with every
# descriptor on /dev/null.
wine() {
    (wine_exec /usr/lib/wine/wine64 "$@") </dev/null >/dev/null 2>&1
}
# The Debian wrapper passes -p0 of its own; the server proper takes -p.
wineserver() {
    (wine_exec /usr/lib/wine/wineserver64 "$@") </dev/null >/dev/null 2>&1
}

# A display of our own. A number is taken only when nothing shows it: no
# lock or socket file here, and no abstract socket of that name, which is
# shared by every root on the machine (an Xvfb started inside a chroot keeps
# its files in that root's /tmp, but clients here would reach it). Two
# starts that race for one number: the loser ends at once, and the next
# number is tried.
start_xvfb() {
    n=91
    while :; do
        while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] ||
            grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix 2>/dev/null; do
            n=$((n + 1))
        done
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        pid=$!
        i=0
        while [ ! -e "/tmp/.X11-unix/X$n" ] && kill -0 "$pid" 2>/dev/null; do
            i=$((i + 1))
            if [ $i -gt 100 ]; then
                echo "wine: Xvfb :$n did not start" >&2
                kill "$pid" 2>/dev/null
                exit 1
            fi
            sleep 0.1
        done
        if kill -0 "$pid" 2>/dev/null; then
            break
        fi
        n=$((n + 1))
    done
    echo "$pid" >"$state/xvfb.pid"
    display=:$n
}

case "$action" in
start)
    if [ -n "$root" ]; then
        # Not a minute of downloads for a root whose Wine cannot work here.
        if ! probe=$("$here/../scripts/ia32-probe.sh"); then
            echo "wine.sh: $probe" >&2
            echo "wine.sh: the i686 build cannot run on this machine; $root is not made" >&2
            exit 1
        fi
        "$here/../scripts/make-wow64-root.sh" "$root"
    fi
    rm -f "$state/display"
    if [ -z "${DISPLAY:-}" ] || [ "${VEL_XVFB:-0}" = 1 ]; then
        start_xvfb
    else
        display=$DISPLAY
    fi
    # Every program of one server session has the same display: a server
    # whose first program had none makes every later window fail.
    echo "$display" >"$state/display"
    mkdir -p "$prefix"
    # Answers 2 when a server of this prefix runs already; that one serves.
    wineserver -p || true
    if [ ! -f "$state/prefix-ready" ]; then
        wine wineboot --init
        # Without a window manager Wine waits 2 s per window for one to
        # manage it; an unmanaged window appears at once.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
        # A crashing test must end, not wait in the debugger's dialog.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
        touch "$state/prefix-ready"
    else
        # The first program of a session starts Wine's services (services.exe,
        # winedevice.exe...), which live as long as the server and keep the
        # starter's file descriptors: start them here, on /dev/null, not
        # from a test whose output pipe CTest waits on.
        wine wineboot
    fi
    ;;
stop)
    wineserver -k || true
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display"
    ;;
run)
    wine_exec /usr/lib/wine/wine64 "$@"
    ;;
*)
    echo "wine.sh: unknown action $action" >&2
    exit 2
    ;;
esac
