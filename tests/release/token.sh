# shellcheck shell=bash
# A throwaway SoftHSM2 token for the signing tests, kept whole in a folder of
# the test's: removing the folder removes the token. Its RSA key is generated
# on the token and cannot leave it; the certificate for it is made by openssl
# through the PKCS#11 engine and stored on the token too. Source it after
# common.sh;
#   make_token FOLDER
# exports SOFTHSM2_CONF and sets token_module, token_pin, token_key and
# token_cert (pkcs11: URIs) and token_cert_pem (the certificate as a file).

make_token() {
    local folder="$1"
    command -v pkcs11-tool >/dev/null || die "opensc's pkcs11-tool is missing: install opensc (scripts/test does this)"
    token_module=/usr/lib/softhsm/libsofthsm2.so
    [[ -r $token_module ]] || die "$token_module is missing: install softhsm2 (scripts/test does this)"
    openssl engine -t pkcs11 >/dev/null 2>&1 \
        || die "OpenSSL's PKCS#11 engine is missing: install libengine-pkcs11-openssl (scripts/test does this)"
    mkdir -p "$folder/tokens"
    printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$folder/tokens" \
        >"$folder/softhsm2.conf"
    export SOFTHSM2_CONF="$folder/softhsm2.conf"
    printf 'openssl_conf = init\n[init]\nengines = engines\n[engines]\npkcs11 = pkcs11\n[pkcs11]\nMODULE_PATH = %s\n' \
        "$token_module" >"$folder/openssl.cnf"
    token_pin=246810
    token_key="pkcs11:token=flashgate-test;object=signer;type=private"
    # shellcheck disable=SC2034  # used by the tests that source this file
    token_cert="pkcs11:token=flashgate-test;object=signer;type=cert"
    token_cert_pem="$folder/signer.pem"

    # The PINs go to pkcs11-tool and openssl through the environment.
    local tool=(pkcs11-tool --module "$token_module")
    local signer=(--token-label flashgate-test --login --pin env:PIN)
    {
        SO_PIN=13579111 "${tool[@]}" --init-token --label flashgate-test --so-pin env:SO_PIN &&
            SO_PIN=13579111 PIN="$token_pin" "${tool[@]}" --token-label flashgate-test --login --login-type so \
                --so-pin env:SO_PIN --init-pin --new-pin env:PIN &&
            PIN="$token_pin" "${tool[@]}" "${signer[@]}" --keypairgen --key-type rsa:2048 --id 01 --label signer &&
            PIN="$token_pin" OPENSSL_CONF="$folder/openssl.cnf" openssl req -new -x509 -engine pkcs11 -keyform engine \
                -key "$token_key" -passin env:PIN -sha256 -days 2 -subj "/CN=flashgate token test signer" \
                -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning -out "$token_cert_pem" &&
            openssl x509 -in "$token_cert_pem" -outform der -out "$folder/signer.der" &&
            PIN="$token_pin" "${tool[@]}" "${signer[@]}" --write-object "$folder/signer.der" --type cert --id 01 --label signer
    } >"$folder/make.log" 2>&1 || { cat "$folder/make.log"; die "could not make the SoftHSM2 test token (see above)"; }
    # The key was made on the token and cannot be read out of it.
    PIN="$token_pin" "${tool[@]}" "${signer[@]}" --list-objects --type privkey 2>&1 | grep -q 'never extractable, local' \
        || die "the test token's key is not one generated on the token that never leaves it"
}
