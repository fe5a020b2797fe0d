# shellcheck shell=bash
# Authenticode signing of the Windows programs with osslsigncode, shared by
# scripts/package and its test. Source it after common.sh; do not run it.
#
# Settings, from the environment:
#   FLASHGATE_SIGN_CERT           certificate in PEM, the chain to the root after it
#   FLASHGATE_SIGN_KEY            its private key in PEM
#   FLASHGATE_SIGN_KEY_PASS       the key's passphrase, if it has one
#   FLASHGATE_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (none by default)
#   FLASHGATE_SIGN_CAFILE         roots trusted when verifying (default: the
#                                 system's; give the certificate itself when it
#                                 is self-signed)

# True when signing was asked for; dies when only half of it was.
signing_requested() {
    if [[ -z ${FLASHGATE_SIGN_CERT:-} && -z ${FLASHGATE_SIGN_KEY:-} ]]; then
        return 1
    fi
    [[ -n ${FLASHGATE_SIGN_CERT:-} && -n ${FLASHGATE_SIGN_KEY:-} ]] \
        || die "set both FLASHGATE_SIGN_CERT and FLASHGATE_SIGN_KEY to sign, or neither"
    local file
    for file in "$FLASHGATE_SIGN_CERT" "$FLASHGATE_SIGN_KEY" "${FLASHGATE_SIGN_CAFILE:-/dev/null}"; do
        [[ -r $file ]] || die "cannot read $file (named by a FLASHGATE_SIGN_ variable)"
    done
    command -v osslsigncode >/dev/null || die "osslsigncode is missing: install it (apt-get install osslsigncode)"
}

# Signs the exe in place with SHA-256.
sign_exe() {
    local exe="$1"
    local args=(sign -certs "$FLASHGATE_SIGN_CERT" -key "$FLASHGATE_SIGN_KEY" -h sha256
                -n flashgate -in "$exe" -out "$exe.signed")
    # The passphrase goes through a pipe, never onto a command line.
    [[ -n ${FLASHGATE_SIGN_KEY_PASS:-} ]] && args+=(-readpass /dev/stdin)
    [[ -n ${FLASHGATE_SIGN_TIMESTAMP_URL:-} ]] && args+=(-ts "$FLASHGATE_SIGN_TIMESTAMP_URL")
    rm -f "$exe.signed"
    local log
    if ! log="$(printf '%s' "${FLASHGATE_SIGN_KEY_PASS:-}" | osslsigncode "${args[@]}" 2>&1)"; then
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
