# shellcheck shell=bash
# Shared by the scripts: one-line steps, loud failures, and installing what is
# missing from Debian's or Ubuntu's packages. Source it; do not run it.

FLASHGATE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# The environment is the scripts' own where the caller's lacks what they
# need: a bare container, cron or env -i names no locale, no PATH, no HOME.
# Wine names files by the locale, and without a UTF-8 one it cannot start a
# program from a folder whose name is not ASCII: where the caller's locale is
# none, or not UTF-8 (or not installed), everything the scripts start gets
# C.UTF-8, which Debian and Ubuntu always have. A UTF-8 locale of the
# caller's is kept.
# (bash's own default PATH, which it sets where there is none, ends in ".":
# no folder that is not named by its full path is kept.)
flashgate_path=
IFS=: read -r -a flashgate_folders <<<"${PATH:-}"
for flashgate_folder in "${flashgate_folders[@]}"; do
    [[ $flashgate_folder == /* ]] && flashgate_path+="${flashgate_path:+:}$flashgate_folder"
done
export PATH="${flashgate_path:-/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin}"
unset flashgate_path flashgate_folders flashgate_folder
if [[ -z ${HOME:-} ]]; then
    HOME="$(getent passwd "$(id -u)" | cut -d: -f6)"
    export HOME="${HOME:-/root}"
fi
if [[ $(locale charmap 2>/dev/null) != UTF-8 ]]; then
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
fi

# Everything the builds and tests need. wine32 is left out on purpose: with
# it installed the `wine` wrapper picks a 32-bit loader, which cannot run on
# kernels without 32-bit support. libengine-pkcs11-openssl is the PKCS#11
# engine through which osslsigncode and openssl reach a key on a token;
# ca-certificates, the roots a signature is verified against by default.
# shellcheck disable=SC2034  # used by the scripts that source this file
FLASHGATE_BUILD_PACKAGES=(cmake ninja-build g++ mingw-w64 libgtest-dev googletest
    python3-pefile osslsigncode openssl libengine-pkcs11-openssl ca-certificates zip)
# debootstrap makes the Debian 13 root whose Wine runs the 32-bit programs,
# and checks what it downloads with Debian's archive keys, which an Ubuntu
# machine may lack.
# shellcheck disable=SC2034  # used by the scripts that source this file
FLASHGATE_WINE_PACKAGES=(wine wine64 fonts-wine xvfb x11-apps imagemagick debootstrap debian-archive-keyring)
# Node.js runs the checker of the GitHub workflows (ensure_workflow_validator);
# python3-yaml reads their steps for the checks that run them here; every
# shell script of the tree goes through shellcheck (scripts.shellcheck); the
# signing tests keep their key on a SoftHSM2 token made with opensc's
# pkcs11-tool.
# shellcheck disable=SC2034  # used by the scripts that source this file
FLASHGATE_CHECK_PACKAGES=(nodejs python3-yaml shellcheck softhsm2 opensc)
FLASHGATE_ACTION_VALIDATOR_VERSION=0.6.0

# Made once per machine, in the user cache: the Debian 13 root whose Wine runs
# 32-bit programs (scripts/lib/wow64-root), and a fresh Wine prefix per
# architecture and Wine, which every suite gets a copy of (scripts/lib/wine-run).
FLASHGATE_CACHE="${XDG_CACHE_HOME:-$HOME/.cache}/flashgate"
# shellcheck disable=SC2034  # used by the scripts that source this file
FLASHGATE_PREFIXES="$FLASHGATE_CACHE/prefixes"
# shellcheck disable=SC2034  # used by the scripts that source this file
FLASHGATE_PREFIX_RECIPE=3  # raise when what a fresh prefix gets changes

step() { printf '==> %s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Installs the named packages that are not installed yet.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
            missing+=("$package")
        fi
    done
    ((${#missing[@]} == 0)) && return 0
    command -v apt-get >/dev/null || die "missing ${missing[*]}; this script installs them with apt-get (Debian or Ubuntu), which is not here: install them by hand"
    local sudo=()
    if ((EUID != 0)); then
        command -v sudo >/dev/null || die "missing ${missing[*]}; run this script as root or install sudo"
        sudo=(sudo)
    fi
    step "installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq || die "apt-get update failed: check the network or the package sources"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
        || die "apt-get install ${missing[*]} failed"
}

refuse_wine32() {
    if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then
        die "wine32 is installed; it makes Wine pick a 32-bit loader that cannot run on this kernel. Remove it: apt-get remove wine32:i386"
    fi
}

# Installs npm's @action-validator/cli, which checks .github/workflows against
# GitHub's schema, once per machine into the user cache.
ensure_workflow_validator() {
    local prefix="$FLASHGATE_CACHE/npm"
    [[ -x $prefix/node_modules/.bin/action-validator &&
        $(cat "$prefix/.version" 2>/dev/null) == "$FLASHGATE_ACTION_VALIDATOR_VERSION" ]] && return 0
    # Debian's nodejs comes without npm; other builds of it bring their own.
    command -v npm >/dev/null || ensure_packages npm
    step "installing @action-validator/cli $FLASHGATE_ACTION_VALIDATOR_VERSION from npm into $prefix"
    mkdir -p "$prefix"
    npm install --silent --no-audit --no-fund --prefix "$prefix" \
        "@action-validator/cli@$FLASHGATE_ACTION_VALIDATOR_VERSION" >/dev/null \
        || die "npm could not install @action-validator/cli: check the network or npm's registry settings"
    printf '%s\n' "$FLASHGATE_ACTION_VALIDATOR_VERSION" >"$prefix/.version"
}

# Sets unshare_args to what gives a private mount namespace here, or dies
# saying how to get one.
private_namespace_args() {
    unshare_args=(--mount --propagation private)
    # Without root, a user namespace in which we are root may do the mounts.
    ((EUID == 0)) || unshare_args+=(--map-root-user)
    unshare "${unshare_args[@]}" true 2>/dev/null \
        || die "cannot make a private mount namespace (unshare ${unshare_args[*]}): run as root, or enable unprivileged user namespaces (sysctl kernel.unprivileged_userns_clone=1)"
}

# Configures and builds one CMake preset, or only the named targets of it.
build_preset() {
    local preset="$1" targets=()
    shift
    (($#)) && targets=(--target "$@")
    step "building $preset${*:+: $*}"
    cmake --preset "$preset" >/dev/null || die "configuring $preset failed (see the messages above)"
    cmake --build --preset "$preset" "${targets[@]}" || die "building $preset failed (see the messages above)"
}

# The path by which Wine's programs see a Linux path: the root is drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The value of KEY in a file of key=value lines: report_value KEY FILE
report_value() { sed -n "s/^$1=//p" "$2" 2>/dev/null | head -n 1; }

# Succeeds where this kernel runs no 32-bit code, having installed QEMU: x86
# programs then run in the emulated PC (scripts/lib/wow64-root vm).
needs_emulated_pc() {
    "$FLASHGATE_ROOT/scripts/lib/runs-32-bit-code" && return 1
    ensure_packages qemu-system-x86
}

# The self-test kit's programs, as the build puts them beside flashgate.exe.
FLASHGATE_KIT_PROGRAMS=(flashgate.exe flashgate-selftest.exe flashgate-standin.exe flashgate-standin-elevated.exe
    flashgate-windows-tests.exe)

# Copies the kit's programs from a build folder into a fresh FOLDER: copy_kit BUILD FOLDER
copy_kit() {
    local program
    rm -rf "$2"
    mkdir -p "$2"
    for program in "${FLASHGATE_KIT_PROGRAMS[@]}"; do
        cp "$1/$program" "$2/" || die "$1/$program is missing: build the preset first"
    done
}
