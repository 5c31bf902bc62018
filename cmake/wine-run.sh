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

# The 64-bit loader serves both kinds of program in a 64-bit prefix; the
# wine launcher would always pick the 32-bit one.
loader=wine
if [ -x /usr/lib/wine/wine64 ]; then
    loader=/usr/lib/wine/wine64
    export WINELOADER=$loader
fi
# Where the kernel cannot run 32-bit programs, qemu runs 32-bit Wine; Wine
# needs the low 4 GiB laid out as on a 32-bit machine.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0xf7000000}"
fi
# No mono or gecko installers: they would be fetched from the network.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

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
