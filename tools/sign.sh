#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Signs Windows programs in place with an Authenticode signature
# (osslsigncode), from a PKCS#12 code-signing certificate given through the
# environment:
#
#   ORVANE_SIGN_PKCS12      the certificate with its private key (.p12 or .pfx)
#   ORVANE_SIGN_PASSWORD    its password
#   ORVANE_SIGN_TIMESTAMP   an RFC 3161 time-stamp server's URL (optional)
#
#   bash tools/sign.sh PROGRAM.exe...
#
# Without ORVANE_SIGN_PKCS12 the programs stay unsigned, and it says so.
# The cmake target orvane_zip signs the copies it packs, so that
# `ORVANE_SIGN_PKCS12=... ORVANE_SIGN_PASSWORD=... bash tools/package.sh`
# makes a signed release; the programs in build/*/bin stay unsigned.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: sign.sh PROGRAM.exe..." >&2
    exit 2
fi
if [ -z "${ORVANE_SIGN_PKCS12:-}" ]; then
    names=$(for program in "$@"; do basename "$program"; done | paste -sd ' ')
    echo "sign.sh: $names left UNSIGNED: no certificate given" \
         "(ORVANE_SIGN_PKCS12 and ORVANE_SIGN_PASSWORD)"
    exit 0
fi
if [ ! -r "$ORVANE_SIGN_PKCS12" ]; then
    echo "sign.sh: cannot read the certificate $ORVANE_SIGN_PKCS12 (ORVANE_SIGN_PKCS12)" >&2
    exit 1
fi
if [ -z "${ORVANE_SIGN_PASSWORD+set}" ]; then
    echo "sign.sh: ORVANE_SIGN_PASSWORD is not set: give the certificate's password" >&2
    exit 1
fi
command -v osslsigncode >/dev/null || {
    echo "sign.sh: osslsigncode is not installed (bash tools/install-deps.sh)" >&2
    exit 1
}

# The password reaches osslsigncode through a pipe, never its command line,
# where any user could read it.
sign() {
    osslsigncode sign -pkcs12 "$ORVANE_SIGN_PKCS12" -readpass <(printf '%s' "$ORVANE_SIGN_PASSWORD") \
        -h sha256 -n Orvane "$@"
}

for program in "$@"; do
    signed=$program.signing
    rm -f "$signed"
    # A half-written signed copy must never take the program's place.
    trap 'rm -f "$signed" "$signed.log"' EXIT
    if [ -n "${ORVANE_SIGN_TIMESTAMP:-}" ]; then
        if sign -ts "$ORVANE_SIGN_TIMESTAMP" -in "$program" -out "$signed" >"$signed.log" 2>&1; then
            echo "sign.sh: signed $program, time-stamped by $ORVANE_SIGN_TIMESTAMP"
        else
            # Without a time stamp the signature is still good, but only as long
            # as the certificate is valid; better that than no signature.
            echo "sign.sh: signing $program with a time stamp from $ORVANE_SIGN_TIMESTAMP failed:"
            sed 's/^/  /' "$signed.log"
            rm -f "$signed"
            sign -in "$program" -out "$signed" >"$signed.log" 2>&1 ||
                { cat "$signed.log" >&2; rm -f "$signed.log"; exit 1; }
            echo "sign.sh: the time-stamp server did not answer: $program is signed WITHOUT a" \
                 "time stamp, and the signature holds only while the certificate is valid"
        fi
    else
        sign -in "$program" -out "$signed" >"$signed.log" 2>&1 ||
            { cat "$signed.log" >&2; rm -f "$signed.log"; exit 1; }
        echo "sign.sh: signed $program, without a time stamp (no ORVANE_SIGN_TIMESTAMP):" \
             "the signature holds only while the certificate is valid"
    fi
    rm -f "$signed.log"
    chmod --reference="$program" "$signed"
    mv -f "$signed" "$program"
    trap - EXIT
done
