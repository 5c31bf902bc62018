#!/usr/bin/env bash
# Checks what stravik.exe is as a file: a 32-bit Windows GUI program that
# imports only Windows' own DLLs, with address-space randomisation and no
# executable data, carrying its version information and manifest.
set -uo pipefail

exe=$1
objdump=${2:-i686-w64-mingw32-objdump}
passed=0
failed=0

check() {
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then
        passed=$((passed + 1))
        echo "ok: $what"
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}

headers=$("$objdump" -p "$exe")
wide_strings=$(strings -el "$exe")
narrow_strings=$(strings "$exe")

check "PE32 GUI program for Intel 80386" grep -q 'PE32 executable (GUI) Intel 80386' <<<"$(file -b "$exe")"
check "address-space randomisation" grep -qx $'\t*DYNAMIC_BASE' <<<"$headers"
check "no executable data" grep -qx $'\t*NX_COMPAT' <<<"$headers"
check "the system's Windows directory on a terminal server" \
    grep -qx $'\t*TERMINAL_SERVICE_AWARE' <<<"$headers"

allowed='^(ADVAPI32|GDI32|KERNEL32|msvcrt|ole32|OLEAUT32|SHLWAPI|USER32|COMCTL32)\.dll$'
imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
echo "imports: $(tr '\n' ' ' <<<"$imports")"
# The inner scripts expand their own arguments.
# shellcheck disable=SC2016
check "imports only Windows' own DLLs" bash -c '[ -n "$1" ] && ! grep -qivE "$2" <<<"$1"' _ "$imports" "$allowed"
# shellcheck disable=SC2016
check "shell32 is not imported (loaded from the system directory at run time)" \
    bash -c '! grep -qi "^shell32" <<<"$1"' _ "$imports"

for text in "Stravik" "1.00" "Application to remove Halvoran OCX files from the PC."; do
    check "version text \"$text\"" grep -qxF "$text" <<<"$wide_strings"
done
check "ProductName entry" grep -qxF "ProductName" <<<"$wide_strings"
check "FileDescription entry" grep -qxF "FileDescription" <<<"$wide_strings"
check "manifest asks for the highest available level" \
    grep -qF 'requestedExecutionLevel level="highestAvailable"' <<<"$narrow_strings"
check "manifest asks for common controls 6" grep -qF 'Microsoft.Windows.Common-Controls' <<<"$narrow_strings"
check "manifest declares DPI awareness" grep -qF '<dpiAware>true</dpiAware>' <<<"$narrow_strings"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
