#!/usr/bin/env bash
# Signs copies of the program as scripts/package does, with throwaway
# certificates made here: with a PEM key, and with a key that never leaves a
# SoftHSM2 token (the certificate from a file and from the token). Checks
# that each signature verifies and the signed program still passes the PE
# check, that a copy changed after signing and a signature from an untrusted
# certificate are refused, and that each half configuration is refused
# before anything is signed:
#   signing.sh SOURCE_DIR EXE ARCH VERSION PYTHON
set -euo pipefail
source_dir="$1" exe="$2" arch="$3" version="$4" python="$5"
# shellcheck source=scripts/lib/common.sh
source "$source_dir/scripts/lib/common.sh"
# shellcheck source=scripts/lib/authenticode.sh
source "$source_dir/scripts/lib/authenticode.sh"
# shellcheck source=tests/release/token.sh
source "$source_dir/tests/release/token.sh"
command -v openssl >/dev/null || die "openssl is missing: install it (scripts/test does this)"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/flashgate-signing.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
settings=(FLASHGATE_SIGN_KEY FLASHGATE_SIGN_CERT FLASHGATE_SIGN_PKCS11_MODULE FLASHGATE_SIGN_PIN
    FLASHGATE_SIGN_KEY_PASS FLASHGATE_SIGN_TIMESTAMP_URL FLASHGATE_SIGN_CAFILE)
unset "${settings[@]}"

# signed_copy NAME SETTING=VALUE...: NAME.exe, a copy of the program signed
# with those settings alone, verified and passing the PE check.
signed_copy() {
    local name="$1" given=("${@:2}")
    (
        export "${given[@]}"
        signing_requested || die "signing_requested does not see a complete signing configuration ($name)"
        cp "$exe" "$name.exe"
        sign_exe "$name.exe"
        verify_exe "$name.exe" >"$name.log" || { cat "$name.log"; die "the program signed ($name) does not verify"; }
        "$python" "$source_dir/tests/release/check_pe.py" "$name.exe" --arch "$arch" --version "$version" \
            || die "the program signed ($name) fails the PE check"
    )
}

# A key with a passphrase, so that the passphrase's way to osslsigncode is tried too.
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=flashgate throwaway test signer" \
    -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
    -passout pass:throwaway -keyout key.pem -out cert.pem 2>openssl.log \
    || { cat openssl.log; die "openssl could not make a test certificate"; }
signed_copy pem FLASHGATE_SIGN_KEY="$scratch/key.pem" FLASHGATE_SIGN_CERT="$scratch/cert.pem" \
    FLASHGATE_SIGN_KEY_PASS=throwaway FLASHGATE_SIGN_CAFILE="$scratch/cert.pem"

# The token's PIN takes the passphrase's way; the certificate comes from a
# file, then from the token.
make_token "$scratch/token"
token=(FLASHGATE_SIGN_KEY="$token_key" FLASHGATE_SIGN_PKCS11_MODULE="$token_module"
    FLASHGATE_SIGN_PIN="$token_pin" FLASHGATE_SIGN_CAFILE="$token_cert_pem")
signed_copy token-cert-file "${token[@]}" FLASHGATE_SIGN_CERT="$token_cert_pem"
signed_copy token-cert-on-token "${token[@]}" FLASHGATE_SIGN_CERT="$token_cert"

# One byte of code changed after signing.
export FLASHGATE_SIGN_CAFILE="$scratch/cert.pem"
cp pem.exe tampered.exe
code_offset="$("$python" -c 'import pefile, sys; print(pefile.PE(sys.argv[1]).sections[0].PointerToRawData + 64)' tampered.exe)"
printf '\xcc' | dd of=tampered.exe bs=1 seek="$code_offset" conv=notrunc status=none
cmp -s pem.exe tampered.exe && die "could not tamper with the copy"
if verify_exe tampered.exe >tampered.log; then
    cat tampered.log
    die "a program changed after signing still verifies"
fi

# A signature that does not chain to a trusted root is refused too.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=someone else" \
    -keyout /dev/null -out other.pem 2>>openssl.log
for signed in pem token-cert-on-token; do
    if FLASHGATE_SIGN_CAFILE="$scratch/other.pem" verify_exe "$signed.exe" >untrusted.log; then
        cat untrusted.log
        die "a signature ($signed) from an untrusted certificate verifies"
    fi
done
unset FLASHGATE_SIGN_CAFILE

# Half a configuration is refused, before anything is built, by a line that
# says what to set: each row is that line's clue and the settings given.
half_configurations=(
    "set both|FLASHGATE_SIGN_KEY=$scratch/key.pem"
    "set both|FLASHGATE_SIGN_CERT=$scratch/cert.pem"
    "set both|FLASHGATE_SIGN_PIN=$token_pin"
    "set FLASHGATE_SIGN_PKCS11_MODULE|FLASHGATE_SIGN_KEY=$token_key FLASHGATE_SIGN_CERT=$token_cert FLASHGATE_SIGN_PIN=$token_pin"
    "set FLASHGATE_SIGN_PIN|FLASHGATE_SIGN_KEY=$token_key FLASHGATE_SIGN_CERT=$token_cert FLASHGATE_SIGN_PKCS11_MODULE=$token_module"
    "unset FLASHGATE_SIGN_KEY_PASS|FLASHGATE_SIGN_KEY=$token_key FLASHGATE_SIGN_CERT=$token_cert FLASHGATE_SIGN_PKCS11_MODULE=$token_module FLASHGATE_SIGN_PIN=$token_pin FLASHGATE_SIGN_KEY_PASS=throwaway"
    "are for a key on a token|FLASHGATE_SIGN_KEY=$scratch/key.pem FLASHGATE_SIGN_CERT=$scratch/cert.pem FLASHGATE_SIGN_PKCS11_MODULE=$token_module"
    "name the key on the token too|FLASHGATE_SIGN_KEY=$scratch/key.pem FLASHGATE_SIGN_CERT=$token_cert"
)
for row in "${half_configurations[@]}"; do
    clue="${row%%|*}"
    read -r -a given <<<"${row#*|}"
    if (export "${given[@]}" && signing_requested) 2>refused.log; then
        die "a half configuration is accepted: ${given[*]}"
    fi
    grep -qF "$clue" refused.log || { cat refused.log; die "the refusal of ${given[*]} does not say \"$clue\""; }
done
echo "signing: copies signed with a PEM key and with a key on a SoftHSM2 token verify and pass the PE check;" \
    "tampered and untrusted copies and ${#half_configurations[@]} half configurations are refused"
