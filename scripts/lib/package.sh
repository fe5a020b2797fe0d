# shellcheck shell=bash
# How scripts/package puts its two zips together from built programs, shared
# with its test (tests/release/package.sh), which runs it on copies. Source it
# after common.sh and authenticode.sh; do not run it.
#
# The order is what matters: each flashgate.exe is signed (or taken signed)
# and checked in the release folder first, the self-test kit copies it from
# there, and only then are the sums written, so that every copy and every sum
# is of the signed program.

package_mode=unsigned   # unsigned, sign (a key, authenticode.sh) or signed-from
package_signed_from=    # with signed-from: the folder of signed programs

# Reads scripts/package's arguments and the signing settings into
# package_mode; dies on anything it cannot follow. A file or folder named
# relative to where it was started is made absolute, as its caller meant it.
package_options() {
    local setting
    for setting in FLASHGATE_SIGN_KEY FLASHGATE_SIGN_CERT FLASHGATE_SIGN_PKCS11_MODULE FLASHGATE_SIGN_CAFILE; do
        if [[ -n ${!setting:-} && ${!setting} != pkcs11:* && ${!setting} != /* ]]; then
            export "$setting=$PWD/${!setting}"
        fi
    done
    while (($#)); do
        case $1 in
            --signed-from)
                [[ -n ${2:-} ]] || die "--signed-from needs a folder: scripts/package --signed-from DIR"
                package_signed_from="$2"
                [[ $2 == /* ]] || package_signed_from="$PWD/$2"
                shift 2
                ;;
            *) die "unknown argument $1: scripts/package [--signed-from DIR]" ;;
        esac
    done
    if [[ -n $package_signed_from ]]; then
        if signing_requested; then
            die "--signed-from takes programs signed elsewhere, and FLASHGATE_SIGN_KEY asks to sign here: unset FLASHGATE_SIGN_KEY and FLASHGATE_SIGN_CERT, or leave out --signed-from"
        fi
        [[ -d $package_signed_from ]] || die "$package_signed_from is not a folder: --signed-from DIR takes DIR/x86/flashgate.exe and DIR/x64/flashgate.exe, each signed"
        command -v osslsigncode >/dev/null || die "osslsigncode is missing: install it (apt-get install osslsigncode)"
        package_mode="signed-from"
    elif signing_requested; then
        package_mode=sign
    fi
}

# Puts STAGE/ARCH/flashgate.exe in place from the build folder, signed here,
# taken signed from --signed-from's folder, or unsigned; then checks it as
# it ships: place_program ARCH BUILD STAGE VERSION
place_program() {
    local arch="$1" build="$2" stage="$3" version="$4"
    local exe="$stage/$arch/flashgate.exe"
    mkdir -p "$stage/$arch"
    case $package_mode in
        signed-from)
            local signed="$package_signed_from/$arch/flashgate.exe"
            step "taking $arch/flashgate.exe signed from $package_signed_from"
            check_signature "$signed"
            check_same_build "$signed" "$build/flashgate.exe"
            cp "$signed" "$exe"
            ;;
        sign)
            cp "$build/flashgate.exe" "$exe"
            step "signing $arch/flashgate.exe"
            sign_exe "$exe"
            local log
            log="$(verify_exe "$exe")" || { printf '%s\n' "$log" >&2; die "the signature of $arch/flashgate.exe does not verify (for a self-signed certificate, set FLASHGATE_SIGN_CAFILE to it)"; }
            ;;
        *) cp "$build/flashgate.exe" "$exe" ;;
    esac
    step "checking $arch/flashgate.exe"
    /usr/bin/python3 "$FLASHGATE_ROOT/tests/release/check_pe.py" "$exe" --arch "$arch" \
        --version "$version" --build-path "$FLASHGATE_ROOT" \
        || die "$arch/flashgate.exe is not fit to ship (see above)"
}

# Fills WORK/release and WORK/selftest, the two zips' folders, each with its
# SHA256SUMS, from each architecture's build folder:
# assemble_package WORK VERSION ARCH BUILD [ARCH BUILD]...
assemble_package() {
    local stage="$1/release" kit="$1/selftest" version="$2"
    shift 2
    mkdir -p "$stage/docs"
    cp "$FLASHGATE_ROOT/README.md" "$FLASHGATE_ROOT/LICENSE" "$stage/"
    cp "$FLASHGATE_ROOT"/docs/*.md "$FLASHGATE_ROOT"/docs/*.png "$stage/docs/"
    cp "$FLASHGATE_ROOT/res/package-note.txt" "$stage/NOTE.txt"
    while (($# >= 2)); do
        place_program "$1" "$2" "$stage" "$version"
        # The self-test kit checks the very flashgate.exe the release zip holds.
        copy_kit "$2" "$kit/$1"
        cp "$stage/$1/flashgate.exe" "$kit/$1/flashgate.exe"
        shift 2
    done
    cp "$FLASHGATE_ROOT/res/selftest-note.txt" "$kit/NOTE.txt"
    write_sums "$stage"
    write_sums "$kit"
}

# FOLDER/SHA256SUMS: the sum of every other file of FOLDER.
write_sums() {
    local sums
    sums="$(mktemp "${TMPDIR:-/tmp}/flashgate-sums.XXXXXX")"
    # Written outside FOLDER, so that the listing never meets the sums' own file.
    if ! (cd "$1" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum) >"$sums"; then
        rm -f "$sums"
        die "could not write the sums of $1"
    fi
    mv "$sums" "$1/SHA256SUMS"
}

# Every file of FOLDER into ZIP, with fixed times, modes and order, so that a
# zip depends on its files alone: write_zip FOLDER ZIP
write_zip() {
    local epoch files zip="$2"
    [[ $zip == /* ]] || zip="$PWD/$zip"
    epoch="${SOURCE_DATE_EPOCH:-$(git -C "$FLASHGATE_ROOT" log -1 --format=%ct 2>/dev/null || echo 315532800)}"
    mapfile -t files < <(cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort)
    (cd "$1" && chmod 644 "${files[@]}" && touch -d "@$epoch" "${files[@]}")
    step "writing $2"
    rm -f "$zip"
    (cd "$1" && TZ=UTC zip -X -D -q "$zip" "${files[@]}") || die "zip could not write $2"
    step "wrote $2 ($([[ $package_mode == unsigned ]] && echo unsigned || echo signed)): $(sha256sum "$zip" | cut -d' ' -f1)"
}
