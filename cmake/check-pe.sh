#!/bin/sh
# check-pe.sh OBJDUMP PROGRAM [--large-address-aware]: the program's export
# table names the framework's five procedures exactly; with the option, its
# header also marks it large address aware (the 32-bit stub).
set -u
objdump=$1
program=$2
table=$("$objdump" -p "$program") || exit 1
status=0
for name in FENETRE::PasseWndProc M_DIALOG::PasseDlgProc M_DIALOG::PasseSheetDlgProc \
            PALETTE::CommDlgHook PERIODE::TimerProc; do
    if ! printf '%s\n' "$table" | grep -q "^[[:space:]]*\[ *[0-9]*\] $name\$"; then
        echo "check-pe: $program does not export $name" >&2
        status=1
    fi
done
if [ "${3:-}" = --large-address-aware ] &&
    ! printf '%s\n' "$table" | grep -q "^[[:space:]]*large address aware\$"; then
    echo "check-pe: $program is not marked large address aware" >&2
    status=1
fi
exit $status
