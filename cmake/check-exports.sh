#!/bin/sh
# check-exports.sh OBJDUMP PROGRAM: the program's export table names the
# framework's five procedures exactly.
set -u
objdump=$1
program=$2
table=$("$objdump" -p "$program") || exit 1
status=0
for name in FENETRE::PasseWndProc M_DIALOG::PasseDlgProc M_DIALOG::PasseSheetDlgProc \
            PALETTE::CommDlgHook PERIODE::TimerProc; do
    if ! printf '%s\n' "$table" | grep -q "^[[:space:]]*\[ *[0-9]*\] $name\$"; then
        echo "check-exports: $program does not export $name" >&2
        status=1
    fi
done
exit $status
