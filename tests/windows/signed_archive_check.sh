#!/bin/sh
# SPDX-License-Identifier: MIT
# A signed SDK archive: made with a throwaway self-signed code-signing certificate, every DLL and
# program in it carries an Authenticode signature that osslsigncode verifies against that certificate.
#   signed_archive_check.sh BUILD_DIR
set -eu
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=kovavantorquadrelv3 test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout pass:throwaway
(cd "$build" && KOVA_SIGN_PKCS12="$work/cert.p12" KOVA_SIGN_PASSWORD=throwaway cpack -G ZIP -B "$work/package" >/dev/null)
(cd "$work" && cmake -E tar xf "$work"/package/kovavantorquadrelv3-*-win64.zip)
count=0
for binary in $(find "$work"/kovavantorquadrelv3-*-win64 -iname '*.dll' -o -iname '*.exe'); do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$binary" > "$work/verify.txt" 2>&1 ||
        { echo "not verified: $binary"; cat "$work/verify.txt"; exit 1; }
    count=$((count + 1))
done
[ "$count" -ge 4 ] || { echo "only $count binaries in the archive"; exit 1; }
echo "$count binaries signed and verified"
