# shellcheck shell=bash disable=SC2034,SC2154 # root comes from its caller, what it sets goes to it
# Sourced by scripts/windows.sh: signs as a vendor's release is signed, with
# throwaway keys in the folder given. The code-signing key lives on a
# software token (SoftHSM) and is reached through PKCS#11, as a hardware
# token or an HSM is; every signature is time-stamped by a time-stamping
# authority (RFC 3161) of the test's own, `openssl ts` answering over HTTP on
# the loopback. Sets what the build and the tests need:
#   signing_options  the Windows build's CMake options for signing
#   signing_ca       the code-signing certificate, to verify signatures with
#   tsa_ca           the time-stamping authority's certificate
#   tsa_pid          the time-stamping server's process, for the caller to stop
# and exports the token's settings for packaging/sign-with-pkcs11.sh.
start_test_signing() {
    local folder=$1
    mkdir -p "$folder/tokens"
    export SOFTHSM2_CONF="$folder/softhsm2.conf"
    export LARKSPUR_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so
    export LARKSPUR_PKCS11_KEY="pkcs11:token=larkspur-test;object=signing"
    export LARKSPUR_PKCS11_CERTS="$folder/ca.pem"
    export LARKSPUR_PKCS11_PIN_FILE="$folder/pin"
    signing_ca="$folder/ca.pem"
    tsa_ca="$folder/tsa.pem"
    if [ ! -s "$folder/tsa.cnf" ]; then
        printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' \
            "$folder" >"$SOFTHSM2_CONF"
        head -c 12 /dev/urandom | base64 >"$folder/pin"
        openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes -subj "/CN=Larkspur test signing" \
            -addext extendedKeyUsage=codeSigning -keyout "$folder/key.pem" -out "$folder/ca.pem" 2>/dev/null
        openssl pkcs8 -topk8 -nocrypt -in "$folder/key.pem" -outform DER -out "$folder/key.der"
        softhsm2-util --init-token --free --label larkspur-test --pin "$(cat "$folder/pin")" \
            --so-pin "$(head -c 12 /dev/urandom | base64)" >/dev/null
        pkcs11-tool --module "$LARKSPUR_PKCS11_MODULE" --token-label larkspur-test --login \
            --pin "$(cat "$folder/pin")" --write-object "$folder/key.der" --type privkey --id 01 \
            --label signing >/dev/null
        # The key is on the token only, as a vendor's is.
        rm -f "$folder/key.pem" "$folder/key.der"
        openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes \
            -subj "/CN=Larkspur test time-stamping" -addext "extendedKeyUsage=critical,timeStamping" \
            -keyout "$folder/tsa.key" -out "$folder/tsa.pem" 2>/dev/null
        echo 01 >"$folder/tsa.serial"
        printf '%s\n' '[ tsa ]' 'default_tsa = test' '[ test ]' "serial = $folder/tsa.serial" \
            "signer_cert = $folder/tsa.pem" "signer_key = $folder/tsa.key" 'signer_digest = sha256' \
            'default_policy = 1.3.6.1.4.1.4146.2.3' 'digests = sha256, sha384, sha512, sha1' \
            'accuracy = secs:1' 'ess_cert_id_alg = sha256' >"$folder/tsa.cnf"
    fi
    rm -f "$folder/tsa.port"
    python3 "$root/scripts/timestamp-server.py" "$folder/tsa.cnf" "$folder/tsa.port" &
    tsa_pid=$!
    for _ in $(seq 100); do [ -s "$folder/tsa.port" ] && break; sleep 0.1; done
    [ -s "$folder/tsa.port" ] || { echo "The time-stamping server did not start" >&2; return 1; }
    signing_options=(-DLARKSPUR_SIGN_TOOL="$root/packaging/sign-with-pkcs11.sh"
        -DLARKSPUR_SIGNING_TIMESTAMP_URL="http://127.0.0.1:$(cat "$folder/tsa.port")/")
}

# The signing route of test builds, a certificate in a PKCS#12 file, signs a
# copy of the given file, time-stamped.
check_p12_signing() {
    local folder=$1 file=$2
    openssl req -x509 -newkey rsa:2048 -sha256 -days 30 -nodes -subj "/CN=Larkspur test signing, PKCS#12" \
        -addext extendedKeyUsage=codeSigning -keyout "$folder/p12.key" -out "$folder/p12.pem" 2>/dev/null
    echo test >"$folder/p12.password"
    openssl pkcs12 -export -inkey "$folder/p12.key" -in "$folder/p12.pem" \
        -passout "file:$folder/p12.password" -out "$folder/test.p12"
    rm -f "$folder/p12-signed.exe"
    osslsigncode remove-signature -in "$file" -out "$folder/p12-signed.exe" >/dev/null
    LARKSPUR_SIGNING_TIMESTAMP_URL="http://127.0.0.1:$(cat "$folder/tsa.port")/" \
        cmake -DP12="$folder/test.p12" -DPASSWORD_FILE="$folder/p12.password" -DOSSLSIGNCODE=osslsigncode \
        -P "$root/packaging/sign-with-p12.cmake" "$folder/p12-signed.exe"
    local verified
    verified=$(osslsigncode verify -CAfile "$folder/p12.pem" -TSA-CAfile "$tsa_ca" -in "$folder/p12-signed.exe")
    grep -q "Timestamp Server Signature verification: ok" <<<"$verified" ||
        { echo "The PKCS#12 signing route made no time-stamped signature: $verified" >&2; return 1; }
}
