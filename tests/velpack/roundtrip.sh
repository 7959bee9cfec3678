#!/bin/sh
# velpack pack -> make -> list / test / extract on a generated folder: every
# file comes back with its bytes and time, the same input gives the same
# archive, and damage is found and named; signed, it verifies and stays
# reproducible. Under Wine the setup executables are also run and read
# their payload back themselves.
#
#   roundtrip.sh VELPACK WORK STUB
VELPACK=$1
WORK=$2
STUB=$3
. "$(dirname "$0")/common.sh"

# The folder: text, nothing, noise, names beyond ASCII, a read-only file,
# times before 1970, with fractions of a second, and far ahead.
mkdir in
seq 1 40000 >in/numbers.log
printf 'Bonjour\r\n' >in/readme.txt
: >in/empty.dat
head -c 70000 /dev/urandom >in/noise.bin
accented=$(printf 'caf\303\251 \303\251t\303\251.txt')
printf 'accents\n' >"in/$accented"
printf 'euro\n' >"in/$(printf '\342\202\254uro \305\223uvre.txt')"
cp "$STUB" in/AutoInst_tool.exe
printf 'ro\n' >in/readonly.txt
chmod 444 in/readonly.txt
touch -d '1999-12-31 23:59:59.123456789' in/numbers.log
touch -d '1960-05-01 12:00:00' in/readme.txt
touch -d '2100-01-01 00:00:00.5' in/noise.bin
title=$(printf "Produit d'essai \303\251l\303\251gant")

velpack pack in -o p.bin --title "$title"
expect 0 "pack"
velpack pack in -o p2.bin --title "$title"
cmp -s p.bin p2.bin || fail "pack twice: different archives"
cp -rp in again
velpack pack again -o p3.bin --title "$title"
cmp -s p.bin p3.bin || fail "pack of a copy of the folder: different archive"

velpack test p.bin
expect 0 "test"
says out.txt "p.bin: 9 entries, all sound" "test"

velpack list p.bin
expect 0 "list"
cp out.txt list-payload.txt
says out.txt "title:    $title" "list title"
says out.txt "program:  AutoInst_tool.exe" "list program"
says out.txt "1999-12-31T23:59:59.1234567Z  ok     numbers.log" "list row"
says out.txt "1960-05-01T12:00:00Z" "list time before 1970"
says out.txt "$accented" "list accented name"
says out.txt "if the program ended with a nonzero exit code" "list actions"
velpack list --json p.bin
expect 0 "list --json"
says out.txt "\"title\": \"$title\"" "json title"
says out.txt '"program": "AutoInst_tool.exe"' "json program"
says out.txt '"start_install": "if_program_exit_code_nonzero"' "json actions"
says out.txt '"mtime": "2100-01-01T00:00:00.5000000Z"' "json mtime"
says out.txt '"checkword_ok": true' "json checkword"

velpack make --stub "$STUB" p.bin -o setup.exe
expect 0 "make from a payload"
velpack list setup.exe
expect 0 "list setup.exe"
# The same, and whether the executable is signed.
head -n -2 out.txt | cmp -s - list-payload.txt || fail "list of setup.exe differs from the payload's"
[ "$(tail -n 1 out.txt)" = "signature: none" ] || fail "list of setup.exe: $(tail -n 1 out.txt)"
velpack make --stub "$STUB" in -o setup2.exe --title "$title"
expect 0 "make from a folder"
cmp -s setup.exe setup2.exe || fail "make from the folder and from its payload differ"

velpack extract setup.exe out
expect 0 "extract"
same_files in out "extract"
[ "$(cat out/setup.ist)" = "$(printf 'Install=%s\r' "$title" | iconv -f UTF-8 -t WINDOWS-1252)" ] ||
    fail "extract: setup.ist does not hold the title"
# Extracting again replaces what is there, the read-only file included.
velpack extract setup.exe out
expect 0 "extract again"

# The same with Zstandard contents (methods 4 and 5, names complemented):
# repeatable, smaller, and every file back with its bytes and time.
velpack pack in -o z.bin --title "$title" --codec zstd
expect 0 "pack --codec zstd"
velpack pack in -o z2.bin --title "$title" --codec zstd
cmp -s z.bin z2.bin || fail "pack --codec zstd twice: different archives"
[ "$(wc -c <z.bin)" -lt "$(wc -c <p.bin)" ] || fail "zstd payload not smaller than the default one"
velpack list z.bin
says out.txt "    5  " "list zstd method"
velpack make --stub "$STUB" z.bin -o zsetup.exe
expect 0 "make from a zstd payload"
velpack test zsetup.exe
expect 0 "test zstd"
velpack extract zsetup.exe zout
expect 0 "extract zstd"
same_files in zout "extract zstd"

if [ -n "$WINE" ]; then
    "$WINE" ./setup.exe p.bin >run.txt 2>&1 || fail "setup.exe does not read its own payload: $(cat run.txt)"
    "$WINE" "$STUB" >stub.txt 2>&1
    "$WINE" ./setup.exe >setup.txt 2>&1
    grep -av EXE_DATA stub.txt >stub-rest.txt
    grep -av EXE_DATA setup.txt >setup-rest.txt
    cmp -s stub-rest.txt setup-rest.txt || fail "setup.exe's other resources differ from the stub's"
fi

# Signing with a throwaway certificate (its key encrypted): the file
# verifies, is signed at a time of the input's, is the same when made again,
# names its signer, and a byte changed outside the payload is damage. The
# Windows velpack has no osslsigncode.exe to run under Wine (which starts
# Unix programs without waiting for them): it says so, the host's
# osslsigncode signs instead, and the signed setup.exe still finds its
# payload.
e_acute=$(printf '\303\251')
openssl req -x509 -utf8 -newkey rsa:2048 -days 2 -passout pass:secret -keyout key.pem \
    -out cert.pem -subj "/C=FR/O=Velmar Essai/CN=Signataire d'essai $e_acute" 2>/dev/null ||
    fail "openssl req"
printf 'secret\n' >pass.txt
printf 'wrong\n' >wrong.txt
signer="CN=Signataire d'essai $e_acute, O=Velmar Essai, C=FR"
sign="--sign-cert cert.pem --sign-key key.pem"
# unsigned OPTIONS...: make with these options refused, leaving no file.
unsigned() {
    velpack make --stub "$STUB" p.bin -o refused.exe "$@"
    ! ls refused.exe* >/dev/null 2>&1 || fail "signing refused ($*): a file is left"
}
if [ -z "$WINE" ]; then
    velpack make --stub "$STUB" p.bin -o signed.exe $sign --sign-pass-file pass.txt
    expect 0 "make, signed"
    [ -x signed.exe ] || fail "signed.exe is not executable"
    osslsigncode verify -CAfile cert.pem -in signed.exe >verify.txt 2>&1 ||
        fail "osslsigncode verify: $(grep -i -m 3 'fail\|error' verify.txt)"
    # At the newest entry's time: noise.bin's 2100, kept to 2049.
    says verify.txt "Signing time: Dec 31 23:59:59 2049 GMT" "signing time"
    velpack make --stub "$STUB" in -o signed2.exe --title "$title" $sign --sign-pass-file pass.txt
    cmp -s signed.exe signed2.exe || fail "signed from the folder and from its payload: different files"
else
    unsigned $sign --sign-pass-file pass.txt
    expect 1 "signing without osslsigncode.exe"
    says err.txt "velpack: refused.exe: cannot sign: osslsigncode.exe not found on PATH; install osslsigncode and put its folder on PATH, or make the setup executable without --sign-cert and sign it afterwards with signtool sign /fd SHA256" "no osslsigncode.exe"
    osslsigncode sign -h sha256 -certs cert.pem -key key.pem -readpass pass.txt -in setup.exe \
        -out signed.exe >sign.txt 2>&1 || fail "osslsigncode sign: $(cat sign.txt)"
    "$WINE" ./signed.exe p.bin >run.txt 2>&1 || fail "signed.exe does not read its own payload: $(cat run.txt)"
fi
velpack list signed.exe
says out.txt "signature: Authenticode, signed by $signer (velpack test verifies it)" "list signer"
velpack list --json signed.exe
says out.txt "\"signer\": \"$signer\"" "json signer"
velpack test signed.exe
expect 0 "test, signed"
says out.txt "signed.exe: 9 entries, all sound" "test, signed"
if [ -n "$WINE" ]; then
    says err.txt "signed by $signer: the signature could not be verified: osslsigncode.exe not found on PATH; install" "test without osslsigncode"
else
    says err.txt "signed by $signer: the signature matches the file, but the signer's certificate chain does not verify here (self-signed certificate)" "test, self-signed"
    cp signed.exe tampered.exe
    printf 'X' | dd of=tampered.exe bs=1 seek=80 conv=notrunc 2>/dev/null
    velpack test tampered.exe
    expect 1 "test of a signed file changed outside its payload"
    says err.txt "the signature no longer holds: the file no longer matches the digest its signature holds; damaged" "tampered"
    unsigned $sign --sign-pass-file wrong.txt
    expect 1 "wrong password"
    says err.txt "velpack: refused.exe: signing failed: Failed to decode private key file: key.pem (Wrong password?)" "wrong password"
    unsigned $sign
    expect 1 "encrypted key without password"
    says err.txt "(an encrypted key needs --sign-pass-file); not written" "no password"
    unsigned --sign-cert pass.txt --sign-key key.pem --sign-pass-file pass.txt
    expect 1 "not a certificate"
    says err.txt "No certificate found" "not a certificate"
    VELPACK_PATH=/nonexistent
    unsigned $sign --sign-pass-file pass.txt
    expect 1 "no osslsigncode"
    says err.txt "velpack: refused.exe: cannot sign: osslsigncode not found on PATH" "no osslsigncode"
    VELPACK_PATH=
fi
unsigned --sign-cert missing.pem --sign-key key.pem
expect 2 "missing certificate"
says err.txt "velpack: missing.pem: --sign-cert: " "missing certificate"
unsigned --sign-cert cert.pem --sign-key missing.pem
expect 2 "missing key"
says err.txt "velpack: missing.pem: --sign-key: " "missing key"
unsigned --sign-cert cert.pem
expect 2 "certificate without key"

# Damage: one content byte of entry 5 (numbers.log; setup.ist comes first,
# then the names in byte order) changed.
cp p.bin bad.bin
skip=$(od -An -tu4 -N4 p.bin)
i=0
while [ $i -lt 5 ]; do
    skip=$((skip + $(od -An -tu4 -j$skip -N4 p.bin)))
    i=$((i + 1))
done
printf 'X' | dd of=bad.bin bs=1 seek=$((skip + 100)) conv=notrunc 2>/dev/null
velpack test bad.bin
expect 1 "test of a damaged payload"
says err.txt "velpack: bad.bin: entry 5 (numbers.log): checkword wrong" "test damage"
says err.txt "1 of 9 entries damaged" "test count"
velpack list bad.bin
expect 1 "list of a damaged payload"
says out.txt "bad    numbers.log" "list shows the bad checkword"
says out.txt "says the installation program is damaged (exit code 2): nothing is extracted" "list actions of a damaged payload"
velpack extract bad.bin badout
expect 1 "extract of a damaged payload"
says err.txt "entry 5 (numbers.log): checkword wrong; the launcher extracts nothing" "extract damage"
[ ! -e badout ] || fail "extract of a damaged payload wrote: $(ls badout)"
velpack make --stub "$STUB" bad.bin -o never.exe
expect 1 "make from a damaged payload"
[ ! -e never.exe ] || fail "make from a damaged payload wrote a file"

finish
