# shellcheck shell=bash
# Helpers for running the 32-bit stravik.exe under Wine, sourced by the
# end-to-end scenarios, the benchmark and the run command.
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

wine_fail() {
    echo "wine-env: $*" >&2
    exit 1
}

# The 64-bit loader starts 32-bit programs through the 32-bit one.
wine_require() {
    local tool
    for tool in wine wineserver Xvfb; do
        command -v "$tool" >/dev/null ||
            wine_fail "$tool is missing (apt-get install wine wine32:i386 wine64 xvfb)"
    done
    if [ -x /usr/lib/wine/wine64 ]; then
        WINE_LOADER=/usr/lib/wine/wine64
    else
        wine_fail "the 64-bit Wine loader is missing (apt-get install wine64)"
    fi
    [ -x /usr/lib/wine/wine ] || wine_fail "32-bit Wine is missing (apt-get install wine32:i386)"
    wine_enable_32bit
}

# Some kernels are built or booted without 32-bit emulation. Then the
# 32-bit Wine loader runs under qemu's user-mode emulator, registered as the
# handler of 32-bit x86 executables.
wine_enable_32bit() {
    local binfmt=/proc/sys/fs/binfmt_misc qemu=/usr/bin/qemu-i386-static
    if [ ! -e "$binfmt/qemu-i386" ]; then
        /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
        [ -x "$qemu" ] ||
            wine_fail "this kernel cannot run 32-bit programs and $qemu is missing (apt-get install qemu-user-static)"
        [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" ||
            wine_fail "cannot mount $binfmt"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
            >"$binfmt/register" || wine_fail "cannot register $qemu for 32-bit programs"
    fi
    # Wine needs the low 4 GiB laid out as on a real 32-bit machine.
    export QEMU_RESERVED_VA=0xf7000000
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
        wine_fail "32-bit programs cannot run, not even under $qemu"
}

wine_run() { "$WINE_LOADER" "$@"; }

# Waits for every process of the prefix to end, then stops its server.
wine_settle() {
    timeout 60 wineserver -w || wineserver -k
}

# A display for the windows: the caller's, or a private Xvfb that
# wine_stop_display ends.
wine_start_display() {
    WINE_XVFB_PID=
    [ -n "${DISPLAY:-}" ] && return 0
    local number=90
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
        number=$((number + 1))
    done
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINE_XVFB_PID=$!
    export DISPLAY=":$number"
    local tries=0
    until [ -e "/tmp/.X11-unix/X$number" ]; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || wine_fail "Xvfb did not start on $DISPLAY"
        sleep 0.1
    done
}

wine_stop_display() {
    if [ -n "${WINE_XVFB_PID:-}" ]; then
        kill "$WINE_XVFB_PID" 2>/dev/null || true
        wait "$WINE_XVFB_PID" 2>/dev/null || true
        WINE_XVFB_PID=
    fi
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
            wine_fail "wineboot failed in $base"
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
    [ -e "$base/.stravik-base-ready" ] || wine_fail "no base prefix in $base"
    cp -al "$base" "$prefix"
    while IFS= read -r -d '' file; do
        cp -p --remove-destination "$base/$file" "$prefix/$file"
    done < <(cd "$base" && find . -type f -not -path './drive_c/windows/system32/*' \
        -not -path './drive_c/windows/syswow64/*' -not -path './drive_c/windows/winsxs/*' -print0)
    export WINEPREFIX=$prefix
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

# Writes the 32-bit view of HKEY_LOCAL_MACHINE\SOFTWARE as UTF-8 text to $1.
wine_export_software() {
    local out=$1 exported
    exported=$(mktemp)
    wine_run reg export 'HKEY_LOCAL_MACHINE\SOFTWARE' "$(wine_run winepath -w "$exported" 2>/dev/null)" \
        /reg:32 /y >/dev/null 2>&1 || wine_fail "cannot export the registry"
    iconv -f UTF-16LE -t UTF-8 "$exported" | tr -d '\r' | sed '1s/^\xef\xbb\xbf//' >"$out"
    rm -f "$exported"
}

# A Halvoran installation.

# The identifiers of the removed control, as they appear in the registry.
CLSID='{AE2426ED-27E8-43EA-A844-3621CB40BE0F}'
TYPELIB='{E297E62B-65F2-4800-B9CC-357FE58AAA6D}'
OCX=QuorwenDocumentAutomation.OCX
# Wine's Windows directory as GetWindowsDirectory reports it; for the
# scenarios that source this file.
# shellcheck disable=SC2034
WINDIR='C:\windows'
WINDIR_SLASHED='C:/windows'
# Inside the quotes of a .reg file a backslash is written twice.
WINDIR_IN_REG='C:\\windows'
MODULE_USAGE='Microsoft\Windows\CurrentVersion\ModuleUsage'
SHARED_DLLS='Microsoft\Windows\CurrentVersion\SharedDLLs'
DIST_UNITS='Microsoft\Code Store Database\Distribution Units'

# Registry seeding: REGEDIT4 text on standard input, imported into the
# program's (32-bit) view. Paths are relative to HKEY_LOCAL_MACHINE\SOFTWARE.
wine_seed_registry() {
    local file="$WINEPREFIX/seed.reg"
    {
        echo REGEDIT4
        echo
        sed -e 's/^\[/[HKEY_LOCAL_MACHINE\\SOFTWARE\\/'
    } >"$file"
    wine_import_reg "$file"
}

# Every entry that the clean-up removes: the component registration, the
# download record, the module-usage records and the shared-library
# reference counts of the control and its ten conflict copies.
wine_seed_control_registration() {
    {
        cat <<EOF
[Classes\\AppID\\$CLSID]
@="Quorwen Document Automation"
[Classes\\CLSID\\$CLSID]
@="Quorwen Document Automation Control"
"AppID"="$CLSID"
[Classes\\CLSID\\$CLSID\\InprocServer32]
@="C:\\\\windows\\\\Downloaded Program Files\\\\$OCX"
[Classes\\CLSID\\$CLSID\\DriveLocation]
@="H:"
[Classes\\$OCX]
"AppID"="$CLSID"
[Classes\\TypeLib\\$TYPELIB\\2.0]
@="Quorwen Document Automation 2.0"
[Classes\\TypeLib\\$TYPELIB\\2.0\\0\\win32]
@="C:\\\\windows\\\\Downloaded Program Files\\\\$OCX"
[$DIST_UNITS\\$CLSID]
"Installer"="MSICD"
[$DIST_UNITS\\$CLSID\\Contains\\Files]
"C:\\\\windows\\\\Downloaded Program Files\\\\$OCX"=""
[$MODULE_USAGE\\$WINDIR_SLASHED/Downloaded Program Files/$OCX]
"$CLSID"="1"
[$SHARED_DLLS]
"$WINDIR_IN_REG\\\\Downloaded Program Files\\\\$OCX"=dword:00000001
EOF
        wine_conflict_copy_entries 1 2 3 4 5 6 7 8 9 10
    } | wine_seed_registry
}

# The registration of the control's numbered conflict copies: a module
# usage key and a shared-library value for each number given.
wine_conflict_copy_entries() {
    local n
    for n in "$@"; do
        cat <<EOF
[$MODULE_USAGE\\$WINDIR_SLASHED/Downloaded Program Files/CONFLICT.$n/$OCX]
"$CLSID"="1"
[$SHARED_DLLS]
"$WINDIR_IN_REG\\\\Downloaded Program Files\\\\CONFLICT.$n\\\\$OCX"=dword:00000001
EOF
    done
}

# The family's files: the template folder on drive H: and the control and
# the two template files in the Windows directory.
# $1 is the Unix folder that becomes drive H:; the rest are file names.
wine_seed_template_folder() {
    local drive=$1 name
    shift
    wine_map_drive h "$drive"
    mkdir -p "$drive/Halvoran/template"
    for name in "$@"; do
        echo "$name" >"$drive/Halvoran/template/$name"
    done
}

wine_seed_windows_files() {
    local windows=$WINEPREFIX/drive_c/windows
    mkdir -p "$windows/Downloaded Program Files"
    echo control >"$windows/Downloaded Program Files/$OCX"
    echo template >"$windows/Halvoran.dotm"
    echo template >"$windows/Halvoran.dot"
}
