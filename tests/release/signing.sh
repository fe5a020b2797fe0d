#!/usr/bin/env bash
# Signs a copy of the program as scripts/package does, with a throwaway
# self-signed certificate made here, and checks that the signature verifies,
# that the signed program still passes the PE check, and that a copy changed
# after signing fails verification:
#   signing.sh SOURCE_DIR EXE ARCH VERSION PYTHON
set -euo pipefail
source_dir="$1" exe="$2" arch="$3" version="$4" python="$5"
# shellcheck source=scripts/lib/common.sh
source "$source_dir/scripts/lib/common.sh"
# shellcheck source=scripts/lib/authenticode.sh
source "$source_dir/scripts/lib/authenticode.sh"
command -v openssl >/dev/null || die "openssl is missing: install it (scripts/test does this)"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/flashgate-signing.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

# A key with a passphrase, so that the passphrase's way to osslsigncode is tried too.
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=flashgate throwaway test signer" \
    -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
    -passout pass:throwaway -keyout key.pem -out cert.pem 2>openssl.log \
    || { cat openssl.log; die "openssl could not make a test certificate"; }
export FLASHGATE_SIGN_CERT="$scratch/cert.pem" FLASHGATE_SIGN_KEY="$scratch/key.pem"
export FLASHGATE_SIGN_KEY_PASS=throwaway FLASHGATE_SIGN_CAFILE="$scratch/cert.pem"
unset FLASHGATE_SIGN_TIMESTAMP_URL

signing_requested || die "signing_requested does not see a complete signing configuration"
cp "$exe" flashgate.exe
sign_exe flashgate.exe
verify_exe flashgate.exe >verify.log || { cat verify.log; die "the freshly signed program does not verify"; }
"$python" "$source_dir/tests/release/check_pe.py" flashgate.exe --arch "$arch" --version "$version" \
    || die "the signed program fails the PE check"

# One byte of code changed after signing.
cp flashgate.exe tampered.exe
code_offset="$("$python" -c 'import pefile, sys; print(pefile.PE(sys.argv[1]).sections[0].PointerToRawData + 64)' tampered.exe)"
printf '\xcc' | dd of=tampered.exe bs=1 seek="$code_offset" conv=notrunc status=none
cmp -s flashgate.exe tampered.exe && die "could not tamper with the copy"
if verify_exe tampered.exe >tampered.log; then
    cat tampered.log
    die "a program changed after signing still verifies"
fi

# A signature that does not chain to a trusted root is refused too.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=someone else" \
    -keyout /dev/null -out other.pem 2>>openssl.log
if FLASHGATE_SIGN_CAFILE="$scratch/other.pem" verify_exe flashgate.exe >untrusted.log; then
    cat untrusted.log
    die "a signature from an untrusted certificate verifies"
fi

# Half a configuration is refused before anything is built.
if (unset FLASHGATE_SIGN_KEY; signing_requested) 2>/dev/null; then
    die "a certificate without a key is accepted"
fi
echo "signing: signed copy verifies and passes the PE check; tampered and untrusted copies are refused"
