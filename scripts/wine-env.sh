# shellcheck disable=SC2034  # the variables are for the scripts that source this
# The Wine harness: prefixes, displays, drives and the registry, for
# running Windows programs under Wine. Sourced through halvoran-wine.sh,
# which adds a Halvoran installation to seed, by the end-to-end scenarios,
# the benchmark and the run command; the base prefix's test sources it
# alone. A helper that fails says why and returns non-zero; it never exits
# the caller's shell.
#
# A base prefix is made once (wineboot is slow) and copied for every
# scenario; the copy hard-links the prefix's DLLs and copies the rest, so
# each scenario starts from the same clean Windows in a second.
#
# Wine runs in its default 64-bit prefix layout, in which a 32-bit program
# gets the 32-bit registry view, as on 64-bit Windows. Registry seeding and
# queries therefore always go through the 32-bit view (/reg:32).

export WINEDEBUG=-all
# No mono or gecko installers: they would be fetched from the network.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Says what went wrong and fails; helpers go on with `|| return`.
wine_fail() {
    echo "wine-env: $*" >&2
    return 1
}

# The 64-bit loader starts 32-bit programs through the 32-bit one.
wine_require() {
    local tool
    for tool in wine wineserver Xvfb; do
        command -v "$tool" >/dev/null ||
            wine_fail "$tool is missing (apt-get install wine wine32:i386 wine64 xvfb)" || return
    done
    [ -x /usr/lib/wine/wine64 ] ||
        wine_fail "the 64-bit Wine loader is missing (apt-get install wine64)" || return
    WINE_LOADER=/usr/lib/wine/wine64
    [ -x /usr/lib/wine/wine ] ||
        wine_fail "32-bit Wine is missing (apt-get install wine32:i386)" || return
    wine_check_32bit
}

# Where the kernel cannot run 32-bit programs, scripts/install-deps.sh
# registers qemu's user-mode emulator for them; this only checks.
wine_check_32bit() {
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        # Wine needs the low 4 GiB laid out as on a real 32-bit machine.
        export QEMU_RESERVED_VA=0xf7000000
    fi
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
        wine_fail "32-bit programs cannot run here: run scripts/install-deps.sh as root, which" \
            "installs wine32:i386 and, where the kernel lacks 32-bit support, registers" \
            "qemu-user-static for them"
}

wine_run() { "$WINE_LOADER" "$@"; }

# Waits for every process of the prefix to end, then stops its server.
wine_settle() {
    timeout 60 wineserver -w || wineserver -k
}

# A display for the windows: the caller's, or a private Xvfb that
# wine_stop_display ends. Xvfb picks the display number itself and says
# which once it is ready, so scenarios starting at the same moment never
# share one (and never lose it when the other ends).
wine_start_display() {
    WINE_XVFB_PID=
    [ -n "${DISPLAY:-}" ] && return 0
    local said number tries=0
    said=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$said" >/dev/null 2>&1 &
    WINE_XVFB_PID=$!
    until [ -s "$said" ]; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { rm -f "$said"; wine_fail "Xvfb did not start"; return; }
        sleep 0.1
    done
    number=$(head -n1 "$said")
    rm -f "$said"
    export DISPLAY=":$number"
}

wine_stop_display() {
    if [ -n "${WINE_XVFB_PID:-}" ]; then
        kill "$WINE_XVFB_PID" 2>/dev/null || true
        wait "$WINE_XVFB_PID" 2>/dev/null || true
        WINE_XVFB_PID=
    fi
}

# Begins a run on a fresh copy of the base prefix $1: a work folder named
# after $2, made beside the base so that the copy can hard-link it, in
# WINE_WORK; a display (see wine_start_display); and the copy, in
# $WINE_WORK/prefix, as WINEPREFIX. It replaces the shell's EXIT trap with
# wine_end_run, which stops the copy's server and the display and removes
# the work folder.
wine_begin_run_with_exit_trap() {
    local base=$1 tag=$2
    WINE_WORK=$(mktemp -d "$(dirname "$base")/$tag.XXXXXX") || return
    trap wine_end_run EXIT
    wine_start_display || return
    wine_new_prefix "$base" "$WINE_WORK/prefix"
}

# For a benchmark: builds the programs `targets` in `build` (made with the
# preset `preset` when new), starts a run named `tag` on a copy of the base
# prefix `base`, and copies the programs into C:\bench ($WINE_BENCH).
wine_begin_bench() {
    local preset=$1 build=$2 base=$3 tag=$4 target
    shift 4
    [ -f "$build/CMakeCache.txt" ] || cmake --preset "$preset" -B "$build" >/dev/null || return
    cmake --build "$build" --target "$@" >/dev/null || return
    wine_make_base_prefix "$base" || return
    wine_begin_run_with_exit_trap "$base" "$tag" || return
    WINE_BENCH=$WINEPREFIX/drive_c/bench
    mkdir -p "$WINE_BENCH"
    for target in "$@"; do
        cp "$build/$target.exe" "$WINE_BENCH/" || return
    done
    echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
}

wine_end_run() {
    [ "${WINEPREFIX:-}" != "$WINE_WORK/prefix" ] || wineserver -k 2>/dev/null || true
    wine_stop_display
    rm -rf "$WINE_WORK"
}

# Makes the base prefix in $1 unless it is already there. Concurrent callers
# wait for the first one.
wine_make_base_prefix() {
    local base=$1
    mkdir -p "$(dirname "$base")"
    (
        flock 9
        [ -e "$base/.stravik-base-ready" ] && exit 0
        rm -rf "$base"
        echo "wine-env: making the base Wine prefix in $base (takes a few minutes)" >&2
        WINEPREFIX=$base wine_run wineboot -i >/dev/null 2>&1 ||
            wine_fail "wineboot failed in $base" || exit
        WINEPREFIX=$base wine_settle
        touch "$base/.stravik-base-ready"
    ) 9>"$base.lock"
}

# Copies the base prefix $1 to a new prefix $2 and makes it WINEPREFIX. The
# DLL folders, nearly all of the prefix, are never written and are
# hard-linked; every other file is a real copy, since Wine may rewrite it in
# place (the registry, win.ini and the like).
wine_new_prefix() {
    local base=$1 prefix=$2 file
    [ -e "$base/.stravik-base-ready" ] || wine_fail "no base prefix in $base" || return
    cp -al "$base" "$prefix"
    while IFS= read -r -d '' file; do
        cp -p --remove-destination "$base/$file" "$prefix/$file"
    done < <(cd "$base" && find . -type f -not -path './drive_c/windows/system32/*' \
        -not -path './drive_c/windows/syswow64/*' -not -path './drive_c/windows/winsxs/*' -print0)
    export WINEPREFIX=$prefix
    wine_install_fonts
}

# Wine's own fonts (fonts-wine: Marlett for the title-bar buttons, Tahoma,
# the system fonts) are in /usr/share/wine/fonts, but Debian's Wine 8 looks
# for them under "<data folder>\../fonts", a path its file lookup rejects
# as invalid, so without them in the prefix's Fonts folder, which it always
# searches, title-bar buttons show letters instead of glyphs.
WINE_FONTS=/usr/share/wine/fonts
wine_install_fonts() {
    [ -e "$WINE_FONTS/marlett.ttf" ] ||
        wine_fail "Wine's fonts are missing (apt-get install fonts-wine)" || return
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp "$WINE_FONTS"/* "$WINEPREFIX/drive_c/windows/Fonts/"
}

# Maps drive letter $1 to the Unix folder $2.
wine_map_drive() {
    local letter=$1 folder=$2
    mkdir -p "$folder"
    ln -sfn "$folder" "$WINEPREFIX/dosdevices/${letter,,}:"
}

wine_windows_dir() { echo "$WINEPREFIX/drive_c/windows"; }

# Imports a registry file (REGEDIT4 or "Windows Registry Editor Version
# 5.00") into the 32-bit view, or into the one WINE_REG_VIEW names (64 for
# a 64-bit build of the program).
wine_import_reg() {
    wine_run reg import "$(wine_run winepath -w "$1" 2>/dev/null)" "/reg:${WINE_REG_VIEW:-32}" \
        >/dev/null 2>&1 ||
        wine_fail "cannot import $1"
}

# Writes the 32-bit view of HKEY_LOCAL_MACHINE\SOFTWARE, or the one
# WINE_REG_VIEW names, as UTF-8 text to $1.
wine_export_software() {
    local out=$1 exported
    exported=$(mktemp)
    wine_run reg export 'HKEY_LOCAL_MACHINE\SOFTWARE' "$(wine_run winepath -w "$exported" 2>/dev/null)" \
        "/reg:${WINE_REG_VIEW:-32}" /y >/dev/null 2>&1 || wine_fail "cannot export the registry" || return
    iconv -f UTF-16LE -t UTF-8 "$exported" | tr -d '\r' | sed '1s/^\xef\xbb\xbf//' >"$out"
    rm -f "$exported"
}

# Writes the keys and values of the program's view of
# HKEY_LOCAL_MACHINE\SOFTWARE to $1: one line per key and one per value
# ("key<TAB>value name"), relative and lower-cased, since the registry
# ignores case. Lines as installation_registry's entries, lower-cased,
# are found in it with grep -ixF.
wine_registry_entries() {
    local out=$1 exported
    exported=$(mktemp)
    wine_export_software "$exported" || return
    awk '
        /^\[/ {
            key = substr($0, 2, length($0) - 2)
            sub(/^HKEY_LOCAL_MACHINE\\SOFTWARE\\?/, "", key)
            print tolower(key)
            next
        }
        /^"/ {
            end = index($0, "\"=")
            name = substr($0, 2, end - 2)
            gsub(/\\\\/, "\\", name)
            print tolower(key) "\t" tolower(name)
        }' "$exported" >"$out"
    rm -f "$exported"
}
