#!/bin/sh
# A sign command for a release whose key lives on a token or an HSM: signs
# one Windows file in place with osslsigncode through the token's PKCS#11
# module, SHA-256, time-stamped by LARKSPUR_SIGNING_TIMESTAMP_URL (which the
# build sets) unless that is "none". Usage: sign-with-pkcs11.sh FILE
# The token, from the environment:
#   LARKSPUR_PKCS11_MODULE    the token's PKCS#11 library
#   LARKSPUR_PKCS11_KEY       the key's PKCS#11 URI, such as pkcs11:token=Vendor;object=signing
#   LARKSPUR_PKCS11_CERTS     the signing certificate and its chain, PEM
#   LARKSPUR_PKCS11_PIN_FILE  a file that holds the token's PIN
set -eu
file=$1
set -- -pkcs11module "$LARKSPUR_PKCS11_MODULE" -key "$LARKSPUR_PKCS11_KEY" \
    -certs "$LARKSPUR_PKCS11_CERTS" -readpass "$LARKSPUR_PKCS11_PIN_FILE" -h sha256 -n Larkspur
if [ "${LARKSPUR_SIGNING_TIMESTAMP_URL:?the build gives the time-stamping service}" != none ]; then
    set -- "$@" -ts "$LARKSPUR_SIGNING_TIMESTAMP_URL"
fi
# osslsigncode writes no file that is there already.
rm -f "$file.signed"
trap 'rm -f "$file.signed"' EXIT
osslsigncode sign "$@" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
