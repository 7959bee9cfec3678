#!/bin/sh
# Can this machine run the i686 build? Wine's WoW64 mode needs a 64-bit
# process that can execute 32-bit x86 code, which some machines (under some
# hypervisors) refuse. scripts/ia32-probe.c tries it; it is compiled once
# into build/ia32-probe (a few milliseconds to run).
#
# Prints one line, "32-bit x86 code: yes: ..." or "32-bit x86 code: no: ...",
# and exits 0 for yes, 1 for no (2 when the probe cannot be built).
# VEL_IA32_PROBE=yes or =no answers without
# trying (to test the scripts that ask).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
case "${VEL_IA32_PROBE:-}" in
yes)
    echo "32-bit x86 code: yes (VEL_IA32_PROBE=yes)"
    exit 0
    ;;
no)
    echo "32-bit x86 code: no (VEL_IA32_PROBE=no)"
    exit 1
    ;;
"") ;;
*)
    echo "ia32-probe: VEL_IA32_PROBE is yes, no or unset, not '$VEL_IA32_PROBE'" >&2
    exit 2
    ;;
esac
bin=$here/../build/ia32-probe
if [ ! -x "$bin" ] || [ "$here/ia32-probe.c" -nt "$bin" ]; then
    mkdir -p "$(dirname "$bin")"
    if ! cc -O2 -o "$bin.part" "$here/ia32-probe.c"; then
        echo "ia32-probe: cannot compile $here/ia32-probe.c" >&2
        exit 2
    fi
    mv "$bin.part" "$bin"
fi
if answer=$("$bin"); then
    echo "32-bit x86 code: $answer"
    exit 0
fi
# A probe killed by what it tried (no line printed) is a no as well.
echo "32-bit x86 code: ${answer:-no: the probe ended without an answer}"
exit 1
