#!/usr/bin/env bash
# Puts the two zips together from this preset's build, on copies, with the
# functions scripts/package uses (a whole run, which builds both presets
# afresh, takes minutes): signed with a key on a SoftHSM2 token, and taken
# signed from a folder (--signed-from). In each pair of zips the self-test
# kit's flashgate.exe must be the release zip's, signed, and every line of
# both SHA256SUMS must match its file. A folder whose program is unsigned,
# or signed but of another build, is refused with a line saying so:
#   package.sh SOURCE_DIR BUILD_DIR ARCH VERSION
set -euo pipefail
source_dir="$1" build_dir="$2" arch="$3" version="$4"
# shellcheck source=scripts/lib/common.sh
source "$source_dir/scripts/lib/common.sh"
# shellcheck source=scripts/lib/authenticode.sh
source "$source_dir/scripts/lib/authenticode.sh"
# shellcheck source=scripts/lib/package.sh
source "$source_dir/scripts/lib/package.sh"
# shellcheck source=tests/release/token.sh
source "$source_dir/tests/release/token.sh"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/flashgate-package-test.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
unset FLASHGATE_SIGN_KEY FLASHGATE_SIGN_CERT FLASHGATE_SIGN_PKCS11_MODULE FLASHGATE_SIGN_PIN \
    FLASHGATE_SIGN_KEY_PASS FLASHGATE_SIGN_TIMESTAMP_URL FLASHGATE_SIGN_CAFILE
make_token "$scratch/token"
export FLASHGATE_SIGN_CAFILE="$token_cert_pem"
token=(FLASHGATE_SIGN_KEY="$token_key" FLASHGATE_SIGN_CERT="$token_cert_pem"
    FLASHGATE_SIGN_PKCS11_MODULE="$token_module" FLASHGATE_SIGN_PIN="$token_pin")

# package NAME [ARGUMENT]...: NAME-windows.zip and NAME-selftest.zip, as
# scripts/package ARGUMENT... writes them (with the settings in force),
# unpacked into NAME/windows and NAME/selftest; what it said in NAME.log.
package() {
    local name="$1"
    shift
    (
        package_options "$@"
        assemble_package "$scratch/$name" "$version" "$arch" "$build_dir"
        write_zip "$scratch/$name/release" "$scratch/$name-windows.zip"
        write_zip "$scratch/$name/selftest" "$scratch/$name-selftest.zip"
    ) >"$name.log" 2>&1 || return 1
    for zip in windows selftest; do
        /usr/bin/python3 -m zipfile -e "$name-$zip.zip" "$name/$zip"
    done
}

# Checks what NAME's zips hold: the same signed program in both, this build's,
# and sums that list every file once and match each.
check_zips() {
    local name="$1" zip listed present
    for zip in windows selftest; do
        listed="$(sed 's/^[0-9a-f]\{64\}  //' "$name/$zip/SHA256SUMS" | LC_ALL=C sort)"
        present="$(cd "$name/$zip" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort)"
        [[ $listed == "$present" ]] || die "$name: the $zip zip's SHA256SUMS does not list exactly its files"
        (cd "$name/$zip" && sha256sum --check --strict --quiet SHA256SUMS) \
            || die "$name: a line of the $zip zip's SHA256SUMS does not match its file"
    done
    cmp -s "$name/windows/$arch/flashgate.exe" "$name/selftest/$arch/flashgate.exe" \
        || die "$name: the self-test kit's $arch/flashgate.exe is not the release zip's"
    verify_exe "$name/windows/$arch/flashgate.exe" >"$name-verify.log" \
        || { cat "$name-verify.log"; die "$name: the release zip's $arch/flashgate.exe carries no signature that verifies"; }
    (check_same_build "$name/windows/$arch/flashgate.exe" "$build_dir/flashgate.exe") \
        || die "$name: the release zip's $arch/flashgate.exe is not this build, signed"
}

# refused CLUE FOLDER: --signed-from FOLDER is refused by a line saying CLUE.
refused() {
    if package "refused-$2" --signed-from "$2"; then
        die "--signed-from $2 is accepted, though it $1"
    fi
    grep -q "^error: .*$1" "refused-$2.log" || { cat "refused-$2.log"; die "the refusal of $2 does not say \"$1\""; }
}

(export "${token[@]}" && package token) || { cat token.log; die "putting the zips together with a key on the token failed"; }
check_zips token

mkdir -p signed/"$arch"
cp token/windows/"$arch"/flashgate.exe signed/"$arch"/
package signed --signed-from "$scratch/signed" || { cat signed.log; die "--signed-from a folder of signed programs failed"; }
check_zips signed
(export "${token[@]}" && refused "asks to sign here" signed)
cmp -s signed/windows/"$arch"/flashgate.exe signed/"$arch"/flashgate.exe \
    || die "--signed-from did not ship the program it was given"

mkdir -p unsigned/"$arch"
cp "$build_dir/flashgate.exe" unsigned/"$arch"/
refused "carries no signature" unsigned

# Another build: the program with one byte of code changed, then signed.
mkdir -p other/"$arch"
cp "$build_dir/flashgate.exe" other/"$arch"/
code_offset="$(/usr/bin/python3 -c 'import pefile, sys; print(pefile.PE(sys.argv[1]).sections[0].PointerToRawData + 64)' other/"$arch"/flashgate.exe)"
printf '\xcc' | dd of=other/"$arch"/flashgate.exe bs=1 seek="$code_offset" conv=notrunc status=none
(export "${token[@]}" && sign_exe other/"$arch"/flashgate.exe)
refused "is not this build" other

echo "package: signed with a key on a SoftHSM2 token and taken signed (--signed-from), the kit's $arch/flashgate.exe" \
    "is the release zip's and both SHA256SUMS match; unsigned and other builds are refused"
