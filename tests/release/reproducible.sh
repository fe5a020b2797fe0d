#!/usr/bin/env bash
# Builds the program twice from copies of the source tree in two folders of
# different names and lengths, and fails unless both exes are byte for byte
# the same:
#   reproducible.sh SOURCE_DIR PRESET
set -euo pipefail
source_dir="$1" preset="$2"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/flashgate-reproducible.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

build_copy() {
    local copy="$1"
    mkdir -p "$copy"
    # The working tree as it is, less what builds and packaging leave in it.
    tar -C "$source_dir" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$copy" -xf -
    if ! (cd "$copy" && cmake --preset "$preset") >"$copy.log" 2>&1 \
        || ! cmake --build "$copy/build/$preset" --target flashgate >>"$copy.log" 2>&1; then
        cat "$copy.log"
        echo "error: building $preset in $copy failed" >&2
        exit 1
    fi
}

first="$scratch/one/flashgate"
second="$scratch/a-second-and-longer-folder/src/flashgate"
build_copy "$first"
build_copy "$second"

if ! cmp -s "$first/build/$preset/flashgate.exe" "$second/build/$preset/flashgate.exe"; then
    echo "error: two builds of one tree differ; first differing bytes (offset, octal values):" >&2
    cmp -l "$first/build/$preset/flashgate.exe" "$second/build/$preset/flashgate.exe" | head -20 >&2 || true
    exit 1
fi
echo "$preset: two builds in different folders are identical ($(sha256sum <"$first/build/$preset/flashgate.exe" | cut -c1-16)...)"
