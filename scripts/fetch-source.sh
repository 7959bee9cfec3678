#!/bin/sh
# Fetches Debian's source package PACKAGE=VERSION through this machine's own
# apt configuration and unpacks it, patches applied, into DEST.
#
# usage: fetch-source.sh DEST PACKAGE VERSION
#
# Does nothing when DEST is there. The machine's package sources are read
# as apt reads them (its sources.list and the .list and .sources files of
# sources.list.d) and turned into source entries (deb-src) in a private apt
# configuration under DEST.part: nothing of the machine's is changed, no
# root is needed, and no archive is named here. apt checks every file it
# downloads against the archive's signed release files; dpkg-source then
# checks them against the .dsc and applies Debian's patches. Under a lock,
# so that two builds fetch once; the result is renamed into place whole.
set -eu
dest=$1
package=$2
version=$3
case "$dest" in
/*) ;;
*) dest=$(pwd)/$dest ;;
esac
part=$dest.part

[ -d "$dest" ] && exit 0
mkdir -p "$(dirname "$dest")"
exec 9>"$dest.lock"
flock 9
[ -d "$dest" ] && exit 0

echo "fetch-source: fetching Debian's source of $package $version (once)" >&2
rm -rf "$part"
apt_dir=$part/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
log=$part/fetch.log
: >"$log"
fail() {
    cat "$log" >&2
    echo "fetch-source: $*" >&2
    exit 1
}

# Where this machine's apt keeps its sources.
eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
# One-line entries: every "deb" line as a "deb-src" line, options kept.
sources=$apt_dir/sources.list
: >"$sources"
for f in "$list" "$parts"*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$f" >>"$sources"
done
# deb822 stanzas: each one's Types field (case-insensitive, as apt reads
# it) says deb-src; every other field, continuation lines included, stays.
n=0
for f in "$parts"*.sources; do
    [ -f "$f" ] || continue
    n=$((n + 1))
    sed 's/^[Tt][Yy][Pp][Ee][Ss][[:space:]]*:.*/Types: deb-src/' "$f" \
        >"$apt_dir/sources.list.d/$n.sources"
done

apt() {
    "$@" -o Dir::Etc::SourceList="$sources" -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
        -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o Debug::NoLocking=true \
        -o APT::Sandbox::User="$(id -un)" -qq
}
# A source of the machine's that serves no source indices fails its part of
# the update and is left out; the download below says whether the package
# was found.
apt apt-get update >>"$log" 2>&1 || true
(cd "$part" && apt apt-get source --download-only "$package=$version") >>"$log" 2>&1 ||
    fail "apt-get source $package=$version failed"
dsc=$(ls "$part"/*.dsc 2>/dev/null | head -n 1)
[ -n "$dsc" ] || fail "no .dsc for $package=$version"
dpkg-source -x "$dsc" "$part/source" >>"$log" 2>&1 || fail "dpkg-source -x $dsc failed"
mv "$part/source" "$dest"
rm -rf "$part"
echo "fetch-source: $dest" >&2
