#!/bin/sh
# Runs a cross-built Windows program under Wine. The Wine prefix is a
# throwaway one beside the program (STRAVIK_WINEPREFIX overrides it); it is
# made on first use.
set -eu

program=$1
shift

build_dir=$(cd "$(dirname "$program")" && pwd)
export WINEPREFIX="${STRAVIK_WINEPREFIX:-$build_dir/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"

# The wine launcher always prefers the 32-bit loader; a 64-bit program goes
# to the 64-bit one directly.
loader=wine
if od -An -tx1 -j"$(($(od -An -tu4 -j60 -N4 "$program") + 4))" -N2 "$program" | grep -q '64 86'; then
    loader=/usr/lib/wine/wine64
    export WINELOADER=$loader
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$loader" wineboot -i >/dev/null 2>&1 || true
            wineserver -w || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi

exec "$loader" "$program" "$@"
