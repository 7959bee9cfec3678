#!/bin/sh
# velpack encode and decode: round trips for every choice of stages and for
# Zstandard, the decoders' error codes, and usage errors.
#   velpack_codec_test.sh VELPACK WORKDIR
set -u
velpack=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Text, a run longer than 255 bytes, and binary noise in one file.
{
    i=0
    while [ $i -lt 200 ]; do
        echo "Ce programme va lancer l'installation de : Velmar $i"
        i=$((i + 1))
    done
    head -c 1000 /dev/zero
    head -c 3000 "$velpack"
} > input.bin
size=$(wc -c < input.bin)

for stages in best none run ref bits run,ref ref,bits run,bits run,ref,bits bits,run; do
    rm -f packed.bin output.bin
    "$velpack" encode --stages "$stages" input.bin packed.bin || fail "encode --stages $stages"
    "$velpack" decode --size "$size" packed.bin output.bin || fail "decode after $stages"
    cmp -s input.bin output.bin || fail "round trip through $stages"
done
"$velpack" encode input.bin best.bin || fail "encode with the default"
[ "$(wc -c < best.bin)" -lt $((size / 2)) ] || fail "best does not compress"
"$velpack" encode --stages none input.bin plain.bin
[ "$(od -An -tx1 -N1 plain.bin | tr -d ' ')" = 00 ] || fail "plain content has flags 00"
[ "$(wc -c < plain.bin)" -eq $((size + 1)) ] || fail "plain content is the flags byte and the data"

# Zstandard: one standard frame, which the zstd tool decodes too.
"$velpack" encode --codec zstd input.bin zstd.bin || fail "encode --codec zstd"
zstd -qdc zstd.bin | cmp -s input.bin - || fail "zstd -d does not give the input back"
"$velpack" decode --codec zstd --size "$size" zstd.bin output.bin || fail "decode --codec zstd"
cmp -s input.bin output.bin || fail "round trip through zstd"
"$velpack" encode --codec zstd --level max input.bin zstd-max.bin || fail "encode --codec zstd --level max"
[ "$(wc -c < zstd-max.bin)" -le "$(wc -c < zstd.bin)" ] || fail "zstd max larger than default"
head -c 20 zstd.bin > zstd-cut.bin
{ cat zstd.bin; printf 'x'; } > zstd-behind.bin

# Decoding errors: the code on stderr, exit 1, no output file.
expect_code() {  # code content-file size [codec]
    rm -f out.bin
    "$velpack" decode --codec "${4:-velmar}" --size "$3" "$2" out.bin 2> err.txt
    status=$?
    [ $status -eq 1 ] || fail "decode of $2 exited $status, not 1"
    grep -qx "velpack: decode error code $1" err.txt || fail "no code $1 for $2: $(cat err.txt)"
    [ ! -e out.bin ] || fail "output written after error $1"
}
expect_code 25 best.bin $((size - 1))
printf '\100\376\141\376\002\001' > reference.bin
expect_code 61 reference.bin 8
printf '\040\377\101\377' > truncated.bin
expect_code 62 truncated.bin 8
printf '' > empty.bin
expect_code 62 empty.bin 0
expect_code 62 zstd-cut.bin "$size" zstd
expect_code 63 zstd.bin $((size - 1)) zstd
expect_code 64 zstd-behind.bin "$size" zstd
expect_code 110 best.bin "$size" zstd

# Usage errors exit 2; a missing input file exits 1.
expect_status() {  # status command...
    want=$1
    shift
    "$velpack" "$@" > /dev/null 2>&1
    status=$?
    [ $status -eq "$want" ] || fail "velpack $* exited $status, not $want"
}
expect_status 2 decode best.bin out.bin
expect_status 2 decode --size -5 best.bin out.bin
expect_status 2 decode --size x best.bin out.bin
expect_status 2 decode --size 10 best.bin
expect_status 2 encode --stages fast input.bin out.bin
expect_status 2 encode --stages run,run input.bin out.bin
expect_status 2 encode input.bin
expect_status 2 encode --codec zstd --stages run input.bin out.bin
expect_status 2 encode --codec lzma input.bin out.bin
expect_status 1 encode missing.bin out.bin
expect_status 1 decode --size 4 missing.bin out.bin

[ $failures -eq 0 ] || exit 1
echo "velpack codec commands: all checks passed"
