# Shared by velpack's script tests: sourced after VELPACK (the velpack
# program) and WORK (a scratch folder of this test) are set.
#
# A velpack.exe runs under wine64 through $VEL_WINE_RUN; so do the test
# stubs when the build can run Windows programs. Paths handed to Windows
# programs are relative to WORK, which Wine maps to its Z: drive.
set -u
LANG=C.UTF-8
LC_ALL=C.UTF-8
TZ=UTC
export LANG LC_ALL TZ

failures=0
rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK" || exit 1

case "$VELPACK" in
*.exe) WINE="${VEL_WINE_RUN:?a Windows velpack needs VEL_WINE_RUN}" ;;
*) WINE="" ;;
esac

# velpack ARGS...: runs the program under test; its output goes to out.txt
# and err.txt (carriage returns dropped), its exit status to $status. A
# host velpack gets VELPACK_PATH as its PATH when it is set.
velpack() {
    if [ -n "$WINE" ]; then
        "$WINE" "$VELPACK" "$@" >out.raw 2>err.raw
    else
        PATH=${VELPACK_PATH:-$PATH} "$VELPACK" "$@" >out.raw 2>err.raw
    fi
    status=$?
    tr -d '\r' <out.raw >out.txt
    tr -d '\r' <err.raw >err.txt
    rm -f out.raw err.raw
}

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect STATUS WHAT: the last velpack run ended with STATUS.
expect() {
    if [ "$status" != "$1" ]; then
        fail "$2: exit status $status, expected $1"
        sed 's/^/  stderr: /' err.txt >&2
    fi
}

# says FILE TEXT WHAT: FILE (out.txt or err.txt) holds TEXT.
says() {
    if ! grep -qF -- "$2" "$1"; then
        fail "$3: '$2' not in $1"
        sed "s/^/  $1: /" "$1" >&2
    fi
}

# Modification time to the 100 ns a FILETIME keeps.
mtime() {
    stat -L -c %y "$1" | sed 's/\(\.[0-9]\{7\}\)[0-9]*/\1/'
}

# same_files FROM TO WHAT: every file of FROM is in TO with the same bytes
# and modification time.
# (Shell variables are global: the loop's own carry a prefix.)
same_files() {
    for same_path in "$1"/*; do
        same_name=${same_path##*/}
        if ! cmp -s "$same_path" "$2/$same_name"; then
            fail "$3: $same_name differs or is missing"
        elif [ "$(mtime "$same_path")" != "$(mtime "$2/$same_name")" ]; then
            fail "$3: $same_name: time $(mtime "$2/$same_name"), expected $(mtime "$same_path")"
        fi
    done
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)" >&2
        exit 1
    fi
    echo "all checks passed"
    exit 0
}
