#!/usr/bin/env bash
# Shows that the executable check catches each missing security flag: for
# every flag, a copy of stravik.exe with only that bit cleared must fail the
# check on that flag and on nothing else.
set -euo pipefail

exe=$1
objdump=$2
check=$(dirname "$0")/executable_check.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/checks.sh"

# The PE header starts where the 32-bit value at 0x3C says; the optional
# header's DllCharacteristics lie 4 + 20 + 70 bytes further on.
header=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
offset=$((header + 4 + 20 + 70))
characteristics=$(od -An -tu2 -j"$offset" -N2 "$exe" | tr -d ' ')

for flag in 0x0040:"address-space randomisation" 0x0100:"no executable data" \
    0x8000:"aware of Remote Desktop hosts"; do
    bit=${flag%%:*} what=${flag#*:}
    copy=$work/stravik.exe
    cp "$exe" "$copy"
    cleared=$((characteristics & ~bit))
    printf '%b' "\\$(printf '%03o' $((cleared & 0xFF)))\\$(printf '%03o' $((cleared >> 8)))" |
        dd of="$copy" bs=1 seek="$offset" conv=notrunc status=none
    if output=$(bash "$check" "$copy" "$objdump"); then
        fail "the check passed an exe without \"$what\""
    elif [ "$(grep '^FAIL: ' <<<"$output")" != "FAIL: $what" ]; then
        fail "without \"$what\" the check reported:"
        grep '^FAIL: ' <<<"$output"
    else
        pass "the check fails an exe without \"$what\""
    fi
done
checks_summary
