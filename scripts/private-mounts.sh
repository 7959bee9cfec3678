#!/bin/sh
# Runs a command in a mount namespace of its own whose mounts reach no other
# namespace: they end with its last process, and nothing is left to unmount.
#
# usage: private-mounts.sh COMMAND [ARGUMENTS...]
#
# unshare makes every mount of the new namespace private. Inside a chroot
# (a fresh-machine test, say) it cannot: "/" is then no mount point. There
# the namespace keeps the propagation it has, which is sound only when the
# mount holding the chroot does not share its mounts; that one cannot be
# seen from inside, but mounts made under a shared mount are shared
# themselves, so any visible one that is shared refuses the run.
set -eu
if mountpoint -q /; then
    exec unshare -m --propagation private "$@"
fi
if [ ! -r /proc/self/mountinfo ] || grep -q ' shared:' /proc/self/mountinfo; then
    echo "private-mounts: / is no mount point and mounts here may be shared: not mounting" >&2
    exit 1
fi
exec unshare -m --propagation unchanged "$@"
