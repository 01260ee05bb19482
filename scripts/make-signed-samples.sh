#!/usr/bin/env bash
# Makes the signed programs the signature tests check, from one unsigned program:
#   make-signed-samples.sh PROGRAM OUTPUT_FOLDER
# In OUTPUT_FOLDER: test-root.cer (a throwaway root the tests trust for their run), trusted.exe
# (signed by "Sentrel Test Publisher" under that root), changed.exe (the same, one byte changed
# after signing), unsigned.exe, and unknown-root.exe (signed under another root nobody trusts).
# Every key is made afresh and thrown away.
set -euo pipefail
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mkdir -p "$2"
out=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > leaf.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
EXT
root() {  # root NAME
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout "$1.key" -out "$1.pem" \
        -subj "/CN=$1" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
signer() {  # signer ROOT NAME
    openssl req -newkey rsa:2048 -nodes -sha256 -keyout "$2.key" -out "$2.csr" -subj "/CN=$2" 2>/dev/null
    openssl x509 -req -sha256 -days 3650 -in "$2.csr" -CA "$1.pem" -CAkey "$1.key" -CAcreateserial \
        -extfile leaf.ext -out "$2.pem" 2>/dev/null
}
sign() {  # sign SIGNER ROOT OUTPUT (the signature carries both certificates, as publishers' do)
    cat "$1.pem" "$2.pem" > chain.pem
    osslsigncode sign -certs chain.pem -key "$1.key" -h sha256 -n "Sentrel signature test" \
        -in "$program" -out "$3" >/dev/null
}

root "Sentrel Test Root"
signer "Sentrel Test Root" "Sentrel Test Publisher"
root "Sentrel Unknown Root"
signer "Sentrel Unknown Root" "Sentrel Unknown Publisher"

sign "Sentrel Test Publisher" "Sentrel Test Root" trusted.exe
sign "Sentrel Unknown Publisher" "Sentrel Unknown Root" unknown-root.exe
cp trusted.exe changed.exe
# One byte of the program's code (past the headers), which the signature covers.
printf '\x5a' | dd of=changed.exe bs=1 seek=4200 conv=notrunc status=none
openssl x509 -in "Sentrel Test Root.pem" -outform DER -out test-root.cer

cp trusted.exe changed.exe unknown-root.exe test-root.cer "$out/"
cp "$program" "$out/unsigned.exe"
