#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Signs copies of the Windows programs the way a release is signed
# (tools/sign.sh), with a throwaway self-signed code-signing certificate, and
# checks each signature with `osslsigncode verify` against that certificate.
# The programs themselves are left as they were: their bytes are the ones the
# reproducible-build check compares.
#
#   check_signing.sh FOLDER PROGRAM.exe... [--beside FILE...]
#
# FOLDER receives the signed copies, under their own names, and the files
# after --beside unsigned: the Wine runner looks for its test driver beside
# the program it runs.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
folder=$1
shift
programs=() beside=()
while [ $# -gt 0 ]; do
    if [ "$1" = --beside ]; then
        shift
        beside=("$@")
        break
    fi
    programs+=("$1")
    shift
done

rm -rf "$folder"
mkdir -p "$folder/certificate"
certificate=$folder/certificate
# A key and certificate for this run only, valid for a day: nothing made
# with them can pass for a release.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Orvane throwaway test signer" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=critical,codeSigning" \
    -keyout "$certificate/key.pem" -out "$certificate/cert.pem" 2>"$certificate/openssl.log" ||
    { cat "$certificate/openssl.log"; echo "FAIL: openssl could not make a certificate"; exit 1; }
password=throwaway-$$
openssl pkcs12 -export -inkey "$certificate/key.pem" -in "$certificate/cert.pem" \
    -out "$certificate/signer.p12" -passout "pass:$password"

before=$(sha256sum "${programs[@]}")
for program in "${programs[@]}"; do
    cp "$program" "$folder/"
done
[ ${#beside[@]} -eq 0 ] || cp "${beside[@]}" "$folder/"

signed=()
for program in "${programs[@]}"; do
    signed+=("$folder/$(basename "$program")")
done
ORVANE_SIGN_PKCS12=$certificate/signer.p12 ORVANE_SIGN_PASSWORD=$password \
    ORVANE_SIGN_TIMESTAMP="" bash "$root/tools/sign.sh" "${signed[@]}"

status=0
for program in "${signed[@]}"; do
    if osslsigncode verify -CAfile "$certificate/cert.pem" -in "$program" >"$program.verify" 2>&1; then
        echo "signed and verified: $program"
    else
        cat "$program.verify"
        echo "FAIL: osslsigncode verify rejects $program"
        status=1
    fi
    rm -f "$program.verify"
done
if [ "$(sha256sum "${programs[@]}")" != "$before" ]; then
    echo "FAIL: signing changed the unsigned programs ${programs[*]}"
    status=1
fi
exit $status
