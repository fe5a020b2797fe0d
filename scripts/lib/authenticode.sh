# shellcheck shell=bash
# Authenticode signing of the Windows programs with osslsigncode, and the
# checks of a program signed elsewhere, shared by scripts/package and its
# tests. Source it after common.sh; do not run it.
#
# Settings, from the environment:
#   FLASHGATE_SIGN_KEY            the private key: a pkcs11: URI naming it on a
#                                 token (or HSM), or, for test certificates, a
#                                 PEM file
#   FLASHGATE_SIGN_CERT           the certificate: a PEM file, the chain to the
#                                 root after it; with a key on a token, also a
#                                 pkcs11: URI naming it on the token
#   FLASHGATE_SIGN_PKCS11_MODULE  with a key on a token: the token's PKCS#11
#                                 module (a shared library)
#   FLASHGATE_SIGN_PIN            with a key on a token: the token's user PIN
#   FLASHGATE_SIGN_KEY_PASS       a PEM key's passphrase, if it has one
#   FLASHGATE_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (none by default)
#   FLASHGATE_SIGN_CAFILE         roots trusted when verifying (default: the
#                                 system's; give the certificate itself when it
#                                 is self-signed)
# osslsigncode reaches a token through OpenSSL's PKCS#11 engine (Debian's
# libengine-pkcs11-openssl), which loads the module named.

# True when signing was asked for; dies, saying what is missing, when only
# part of a configuration was given.
signing_requested() {
    local key="${FLASHGATE_SIGN_KEY:-}" cert="${FLASHGATE_SIGN_CERT:-}"
    local module="${FLASHGATE_SIGN_PKCS11_MODULE:-}" pin="${FLASHGATE_SIGN_PIN:-}" pass="${FLASHGATE_SIGN_KEY_PASS:-}"
    [[ -n $key$cert$module$pin$pass ]] || return 1
    [[ -n $key && -n $cert ]] \
        || die "set both FLASHGATE_SIGN_KEY and FLASHGATE_SIGN_CERT to sign (docs/shipping.md, \"Signing\"), or, for unsigned zips, unset all of FLASHGATE_SIGN_KEY, _CERT, _PKCS11_MODULE, _PIN and _KEY_PASS"
    local files=("${FLASHGATE_SIGN_CAFILE:-/dev/null}")
    if [[ $key == pkcs11:* ]]; then
        [[ -n $module ]] || die "FLASHGATE_SIGN_KEY names a key on a token: set FLASHGATE_SIGN_PKCS11_MODULE to the token's PKCS#11 module"
        [[ -n $pin ]] || die "FLASHGATE_SIGN_KEY names a key on a token: set FLASHGATE_SIGN_PIN to the token's user PIN"
        [[ -z $pass ]] || die "FLASHGATE_SIGN_KEY_PASS is a PEM key's passphrase; a token's PIN goes in FLASHGATE_SIGN_PIN: unset FLASHGATE_SIGN_KEY_PASS"
        files+=("$module")
        openssl engine -t pkcs11 >/dev/null 2>&1 \
            || die "OpenSSL's PKCS#11 engine is missing: install it (apt-get install libengine-pkcs11-openssl)"
    else
        [[ -z $module && -z $pin ]] \
            || die "FLASHGATE_SIGN_PKCS11_MODULE and FLASHGATE_SIGN_PIN are for a key on a token, named by a pkcs11: URI in FLASHGATE_SIGN_KEY; FLASHGATE_SIGN_KEY is a file: unset them, or name the key on the token"
        [[ $cert != pkcs11:* ]] \
            || die "FLASHGATE_SIGN_CERT names a certificate on a token, but FLASHGATE_SIGN_KEY is a file: name the key on the token too (a pkcs11: URI)"
        files+=("$key")
    fi
    [[ $cert == pkcs11:* ]] || files+=("$cert")
    local file
    for file in "${files[@]}"; do
        [[ -r $file ]] || die "cannot read $file (named by a FLASHGATE_SIGN_ variable)"
    done
    command -v osslsigncode >/dev/null || die "osslsigncode is missing: install it (apt-get install osslsigncode)"
}

# Signs the exe in place with SHA-256.
sign_exe() {
    local exe="$1" args=(sign -h sha256 -n flashgate) secret
    if [[ $FLASHGATE_SIGN_KEY == pkcs11:* ]]; then
        args+=(-pkcs11module "$FLASHGATE_SIGN_PKCS11_MODULE" -key "$FLASHGATE_SIGN_KEY")
        if [[ $FLASHGATE_SIGN_CERT == pkcs11:* ]]; then
            args+=(-pkcs11cert "$FLASHGATE_SIGN_CERT")
        else
            args+=(-certs "$FLASHGATE_SIGN_CERT")
        fi
        secret="$FLASHGATE_SIGN_PIN"
    else
        args+=(-certs "$FLASHGATE_SIGN_CERT" -key "$FLASHGATE_SIGN_KEY")
        secret="${FLASHGATE_SIGN_KEY_PASS:-}"
    fi
    # The passphrase or PIN goes through a pipe, never onto a command line.
    [[ -n $secret ]] && args+=(-readpass /dev/stdin)
    [[ -n ${FLASHGATE_SIGN_TIMESTAMP_URL:-} ]] && args+=(-ts "$FLASHGATE_SIGN_TIMESTAMP_URL")
    args+=(-in "$exe" -out "$exe.signed")
    rm -f "$exe.signed"
    local log
    if ! log="$(printf '%s' "$secret" | osslsigncode "${args[@]}" 2>&1)"; then
        rm -f "$exe.signed"
        die "signing $exe failed: $log"
    fi
    mv "$exe.signed" "$exe"
}

# Succeeds when the exe's signature is intact and chains to a trusted root;
# prints osslsigncode's account either way.
verify_exe() {
    local exe="$1"
    osslsigncode verify -in "$exe" -CAfile "${FLASHGATE_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}" 2>&1
}

# Dies, saying what to do, unless the exe is there, carries a signature, and
# the signature verifies: a program signed elsewhere (scripts/package
# --signed-from).
check_signature() {
    local exe="$1" scratch signed=false
    [[ -f $exe ]] || die "$exe is missing: --signed-from DIR takes DIR/x86/flashgate.exe and DIR/x64/flashgate.exe, each signed (docs/shipping.md, \"Signing\")"
    # osslsigncode writes only files that are not there yet.
    scratch="$(mktemp -d "${TMPDIR:-/tmp}/flashgate-signature.XXXXXX")"
    osslsigncode extract-signature -in "$exe" -out "$scratch/signature" >/dev/null 2>&1 && signed=true
    rm -rf "$scratch"
    $signed || die "$exe carries no signature: sign it (docs/shipping.md, \"Signing\"), then run scripts/package --signed-from again"
    local log
    if ! log="$(verify_exe "$exe")"; then
        printf '%s\n' "$log" >&2
        die "the signature of $exe does not verify (see above): sign it again; for a self-signed test certificate, set FLASHGATE_SIGN_CAFILE to it"
    fi
}

# Dies, saying what to do, unless the signed exe is, with its signature
# removed, byte for byte the fresh build: the signature is all that was added.
check_same_build() {
    local signed="$1" fresh="$2" stripped same=false
    stripped="$(mktemp -d "${TMPDIR:-/tmp}/flashgate-stripped.XXXXXX")"
    osslsigncode remove-signature -in "$signed" -out "$stripped/flashgate.exe" >/dev/null 2>&1 &&
        cmp -s "$stripped/flashgate.exe" "$fresh" && same=true
    rm -rf "$stripped"
    $same || die "$signed is not this build: without its signature it differs from $fresh. Sign the programs of an unsigned zip that scripts/package made from this commit on this machine, then run scripts/package --signed-from again"
}
