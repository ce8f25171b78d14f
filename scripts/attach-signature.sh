#!/bin/sh
# The sign command of scripts/verify-release.sh: instead of signing FILE, puts
# on it the signature that a release's file of the same name carries (the
# uninstaller's, under a name of makensis's choosing, is found by trying
# each), and fails when that signature is not of these bytes.
# Usage: attach-signature.sh FILE, with LARKSPUR_SIGNATURES the folder of the
# release's signatures, one NAME.der per signed file NAME.
set -eu
file=$1
named="$LARKSPUR_SIGNATURES/$(basename "$file").der"
if [ -e "$named" ]; then set -- "$named"; else set -- "$LARKSPUR_SIGNATURES"/*.der; fi
trap 'rm -f "$file.attached" "$file.log"' EXIT
for signature in "$@"; do
    rm -f "$file.attached"
    # Its status is that of checking the certificates too, which need not be
    # trusted here: whether the signature is of these bytes is what counts.
    osslsigncode attach-signature -sigin "$signature" -in "$file" -out "$file.attached" \
        >"$file.log" 2>&1 || true
    # The digest that the signature signed, and that of these bytes (a
    # program's "message digest", an MSI's "DigitalSignature"; not the PE
    # checksum, which osslsigncode 2.5 shows before it sets it).
    digest='\(message digest\|DigitalSignature\) *: *\([0-9A-F][0-9A-F]*\).*'
    current=$(sed -n "s/^Current $digest/\\2/p" "$file.log" | head -n 1)
    calculated=$(sed -n "s/^Calculated $digest/\\2/p" "$file.log" | head -n 1)
    if [ -s "$file.attached" ] && [ -n "$current" ] && [ "$current" = "$calculated" ]; then
        mv "$file.attached" "$file"
        exit 0
    fi
done
echo "No signature of the release is of the rebuilt $(basename "$file"): its bytes differ from the release's" >&2
exit 1
