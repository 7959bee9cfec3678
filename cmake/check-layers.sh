#!/bin/sh
# check-layers.sh SOURCE_DIR: every include of our own code points down.
#
# The layers, bottom up: services, archive, framework, app, launcher. A file
# may include from its own layer and the layers below it. velpack (tools/)
# stands beside the launcher and may use services, archive and launcher
# (the plan); inside it, base/ (its error convention) uses nothing of
# velpack, pe/ and host/ nothing else but base/, payload/ all three,
# commands/ everything. Tests, benchmarks and fuzz targets may
# include anything.
set -u
cd "$1" || exit 2

rank() {  # rank FOLDER: the layer's height, or nothing for a folder outside them
    case $1 in
    services) echo 1 ;;
    archive) echo 2 ;;
    framework) echo 3 ;;
    app) echo 4 ;;
    launcher) echo 5 ;;
    esac
}

# allowed FILE INCLUDE: 0 when the file may include that header.
allowed() {
    from=${1%%/*}
    to=${2%%/*}
    case $1 in
    tools/velpack/*)
        case $2 in
        services/* | archive/* | launcher/*) return 0 ;;
        tools/velpack/*) ;;
        *) return 1 ;;
        esac
        room=$(echo "$1" | cut -d/ -f3)
        target=$(echo "$2" | cut -d/ -f3)
        case $room in
        base) [ "$target" = base ] ;;
        pe | host) [ "$target" = "$room" ] || [ "$target" = base ] ;;
        payload) [ "$target" != commands ] ;;
        *) return 0 ;;
        esac
        return
        ;;
    esac
    a=$(rank "$from")
    b=$(rank "$to")
    [ -n "$a" ] && [ -n "$b" ] && [ "$b" -le "$a" ]
}

status=0
for file in $(find services archive framework app launcher resources tools \
              -name '*.h' -o -name '*.cpp' -o -name '*.rc' | sort); do
    # resources/ is the launcher's script: it counts as the top layer.
    as=$file
    case $file in resources/*) as=launcher/${file#resources/} ;; esac
    for inc in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
        case $inc in */*) ;; *) continue ;; esac  # a header beside the script
        if ! allowed "$as" "$inc"; then
            echo "check-layers: $file includes $inc, which is not below it" >&2
            status=1
        fi
    done
done
exit $status
