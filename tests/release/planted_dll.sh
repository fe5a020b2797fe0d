#!/usr/bin/env bash
# Proves under Wine that the program loads no DLL planted beside it, and that
# board identification and the start of the flash utility still work with the
# DLL search so restricted:
#   planted_dll.sh SOURCE_DIR FLASHGATE_EXE PLANTED_DLL UNHARDENED_EXE
# One folder holds flashgate.exe, the planted DLL as uxtheme.dll, and as
# WinPhlash.exe a program without the restriction. On a board whose Version is
# 41B flashgate must start WinPhlash.exe, which loads the planted DLL (so it
# would be loaded wherever nothing stops it), and must not load it itself.
set -euo pipefail
source_dir="$1" exe="$2" dll="$3" unhardened="$4"
fail() { echo "error: $*" >&2; exit 1; }
"$source_dir/scripts/lib/wine-run" --check || exit

scratch="$(mktemp -d "${TMPDIR:-/tmp}/flashgate-planted.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
cp "$exe" "$scratch/flashgate.exe"
cp "$dll" "$scratch/uxtheme.dll"
cp "$unhardened" "$scratch/WinPhlash.exe"

# Wine prefers its own system DLLs to a file of the same name; Windows takes
# the first file its search finds. The override makes Wine search as Windows does.
(cd "$scratch" && WINEDLLOVERRIDES="mscoree,mshtml=;uxtheme=n,b" \
    "$source_dir/scripts/lib/with-board" 41B "$source_dir/scripts/lib/wine-run" "$scratch/flashgate.exe") \
    || fail "flashgate.exe on board 41B ended with $?, not 0 (flash utility started)"
# flashgate does not wait for the flash utility.
for _ in $(seq 100); do [[ -e $scratch/uxtheme.dll.loaded-by-WinPhlash.exe ]] && break; sleep 0.2; done
[[ -e $scratch/uxtheme.dll.loaded-by-WinPhlash.exe ]] \
    || fail "the program without the restriction did not load the planted DLL either, so this run proves nothing"
[[ ! -e $scratch/uxtheme.dll.loaded-by-flashgate.exe ]] \
    || fail "flashgate.exe loaded the uxtheme.dll planted beside it"
echo "planted DLL: loaded by an unrestricted program, not by flashgate.exe; board read and flash utility started"
