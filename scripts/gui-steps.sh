# Steps shared by the scripts that drive the launcher on a Wine display
# (scripts/demo.sh, tests/e2e/screenshots.sh); sourced, with DISPLAY set.

# wait_window CLASS: the id of the program's visible top-level window (one
# wider than 100 pixels: Wine's own small windows do not count), once it
# shows; fails after 20 s.
wait_window() {
    wait_i=0
    while [ $wait_i -lt 200 ]; do
        for wait_w in $(xdotool search --onlyvisible --classname "$1" 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$wait_w")"
            if [ "$WIDTH" -gt 100 ]; then
                echo "$wait_w"
                return 0
            fi
        done
        sleep 0.1
        wait_i=$((wait_i + 1))
    done
    return 1
}

# wait_file PATH: 0 once PATH exists (install.exe is started without being
# waited for), 1 after 10 s.
wait_file() {
    wait_i=0
    while [ ! -f "$1" ] && [ $wait_i -lt 100 ]; do
        sleep 0.1
        wait_i=$((wait_i + 1))
    done
    [ -f "$1" ]
}

# wine_temp RUN: the Unix path of the prefix user's temporary folder, where
# the launcher writes (Wine 8: C:\users\<user>\Temp, Wine 10:
# C:\users\<user>\AppData\Local\Temp). RUN runs a Windows program.
wine_temp() {
    "$@" cmd /c winepath -u %TEMP% </dev/null | tr -d '\r'
}
