#!/usr/bin/env bash
# Checks what stravik.exe (or, given "console", stravikc.exe) is as a
# file: a 32-bit Windows program, GUI or console, that imports only
# Windows' own DLLs, with address-space randomisation, no executable data
# and awareness of Remote Desktop hosts, carrying its version information
# and manifest.
#
#   executable_check.sh EXE [OBJDUMP [gui|console]]
set -uo pipefail

exe=$1
objdump=${2:-i686-w64-mingw32-objdump}
kind=${3:-gui}
source "$(dirname "$0")/checks.sh"

headers=$("$objdump" -p "$exe")
wide_strings=$(strings -el "$exe")
narrow_strings=$(strings "$exe")

if [ "$kind" = console ]; then
    subsystem=console description="Removes Halvoran OCX files from the PC, unattended, from the command line."
    file_name=stravikc.exe level=asInvoker
else
    subsystem=GUI description="Application to remove Halvoran OCX files from the PC."
    file_name=stravik.exe level=highestAvailable
fi
check "PE32 $subsystem program for Intel 80386" \
    grep -q "PE32 executable ($subsystem) Intel 80386" <<<"$(file -b "$exe")"
check "address-space randomisation" grep -qx $'\t*DYNAMIC_BASE' <<<"$headers"
check "no executable data" grep -qx $'\t*NX_COMPAT' <<<"$headers"
check "aware of Remote Desktop hosts" grep -qx $'\t*TERMINAL_SERVICE_AWARE' <<<"$headers"

allowed='^(ADVAPI32|GDI32|KERNEL32|msvcrt|ole32|OLEAUT32|SHLWAPI|USER32|COMCTL32)\.dll$'
imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
echo "imports: $(tr '\n' ' ' <<<"$imports")"
imports_only_windows_dlls() { [ -n "$imports" ] && ! grep -qivE "$allowed" <<<"$imports"; }
shell32_not_imported() { ! grep -qi "^shell32" <<<"$imports"; }
check "imports only Windows' own DLLs" imports_only_windows_dlls
check "shell32 is not imported (loaded from the system directory at run time)" shell32_not_imported

for text in "Stravik" "1.00" "$description" "$file_name"; do
    check "version text \"$text\"" grep -qxF "$text" <<<"$wide_strings"
done
check "ProductName entry" grep -qxF "ProductName" <<<"$wide_strings"
check "FileDescription entry" grep -qxF "FileDescription" <<<"$wide_strings"
check "manifest asks for the $level level" \
    grep -qF "requestedExecutionLevel level=\"$level\"" <<<"$narrow_strings"
if [ "$kind" = gui ]; then
    check "manifest asks for common controls 6" grep -qF 'Microsoft.Windows.Common-Controls' <<<"$narrow_strings"
    check "manifest declares DPI awareness" grep -qF '<dpiAware>true</dpiAware>' <<<"$narrow_strings"
fi

checks_summary
