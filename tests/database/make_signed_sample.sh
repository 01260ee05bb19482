#!/usr/bin/env bash
# Writes SignedSample.h: a file signed with the test key (data/keys/), and a tiny database with
# its signed update 2, for the Windows tests of the CNG signature check (which cannot sign).
# Usage: tests/database/make_signed_sample.sh build/native/bin/sentrel-db
set -euo pipefail
tool=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
key="$here/../../data/keys/test_update_private.pem"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf 'Sentrel update signature sample\n' > sample
openssl dgst -sha256 -sign "$key" -out sample.sig sample
mkdir v1 v2
printf 'FILES_MASK\r\n*tracker*\r\n' > v1/Cookies.csv
printf 'FILES_MASK\r\n*tracker*\r\n*ads*\r\n' > v2/Cookies.csv
"$tool" build v1 base.db
"$tool" build v2 next.db
"$tool" diff base.db next.db 2 update2 >/dev/null
"$tool" sign "$key" update2 >/dev/null
"$tool" keygen other_private.pem other_public.pem >/dev/null

array() { echo "inline constexpr unsigned char $1[] = {"; xxd -i < "$2"; echo "};"; }
{
    echo "#pragma once"
    echo "// Made by tests/database/make_signed_sample.sh with the test key in data/keys/; do not edit."
    echo "// kBaseDataBase holds Cookies (*tracker*); kUpdate2 adds the row *ads*."
    echo
    echo "namespace sentrel::test {"
    echo
    array kSampleData sample
    array kSampleSignature sample.sig
    array kBaseDataBase base.db
    array kUpdate2 update2
    array kUpdate2Signature update2.sig
    echo "// A key that did not sign any of these."
    echo "inline constexpr const char* kOtherPublicKeyPem = R\"pem($(cat other_public.pem))pem\";"
    echo
    echo "}  // namespace sentrel::test"
} > "$here/SignedSample.h"
