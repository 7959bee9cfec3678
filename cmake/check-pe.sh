#!/bin/sh
# check-pe.sh OBJDUMP PROGRAM [--large-address-aware] [--run-from-swap]
#              [--max-size BYTES]: the program's export table names the
# framework's five procedures exactly; with the options, its header also
# marks it large address aware (the 32-bit stub) and to be run from the swap
# file when on removable or network media (both stubs), and the file keeps
# within its size budget (the product stub: every setup carries it).
set -u
objdump=$1
program=$2
shift 2
table=$("$objdump" -p "$program") || exit 1
status=0
for name in FENETRE::PasseWndProc M_DIALOG::PasseDlgProc M_DIALOG::PasseSheetDlgProc \
            PALETTE::CommDlgHook PERIODE::TimerProc; do
    if ! printf '%s\n' "$table" | grep -q "^[[:space:]]*\[ *[0-9]*\] $name\$"; then
        echo "check-pe: $program does not export $name" >&2
        status=1
    fi
done
# marked FLAG TEXT: the header's characteristics list TEXT (objdump's words).
marked() {
    if ! printf '%s\n' "$table" | grep -q "^[[:space:]]*$2\$"; then
        echo "check-pe: $program is not marked $1" >&2
        status=1
    fi
}
while [ $# -gt 0 ]; do
    option=$1
    shift
    case $option in
    --large-address-aware) marked "large address aware" "large address aware" ;;
    --run-from-swap)
        marked "removable run from swap" "copy to swap file if on removable media"
        marked "net run from swap" "copy to swap file if on network media"
        ;;
    --max-size)
        size=$(stat -c %s "$program")
        if [ "$size" -gt "$1" ]; then
            echo "check-pe: $program takes $size bytes, over its budget of $1" >&2
            status=1
        fi
        shift
        ;;
    *) echo "check-pe: unknown option $option" >&2; exit 2 ;;
    esac
done
exit $status
