# One Halvoran installation, removed twice: by the portable program on a
# stand-in machine and by stravik.exe under Wine. Both must leave the same
# files and the same registry entries behind. Then the console program's
# commands, each scope's check and remove, run on both machines seeded
# alike, and must tell the same fates and exit with the same codes. Wine is
# the reference; a difference means the stand-in machine behaves unlike
# Windows.
#
# Arguments: stravik.exe and the test driver; the portable programs are
# named by STRAVIK_PORTABLE_PROGRAM and STRAVIK_PORTABLE_CONSOLE, the
# 32-bit stravikc.exe by STRAVIK_CONSOLE.
set -euo pipefail

for program in "${STRAVIK_PORTABLE_PROGRAM:-}" "${STRAVIK_PORTABLE_CONSOLE:-}"; do
    if [ -z "$program" ] || [ ! -x "$program" ]; then
        echo "differential: the portable program '$program' is missing; build the native preset first" >&2
        exit 1
    fi
done
: "${STRAVIK_CONSOLE:?the 32-bit stravikc.exe is not set}"
PORTABLE=$(realpath "$STRAVIK_PORTABLE_PROGRAM")
PORTABLE_CONSOLE=$(realpath "$STRAVIK_PORTABLE_CONSOLE")
FIXTURE=$(cd "$(dirname "$0")/fixtures/typical" && pwd)

source "$(dirname "$0")/scenario.sh"

STAND_IN="$E2E_WORK/stand-in"
WINE_DRIVE_H="$E2E_WORK/drive_h"
COMPARED="$E2E_WORK/compared"
mkdir -p "$COMPARED"

# A read-only template file, as users' template folders often have; git
# keeps no such attribute, so it is set here on both copies. The fixture
# spells some names in another case than the program does (the template
# folder, a Windows-directory file, registry entries): both machines must
# find them all the same.
make_template_read_only() { chmod a-w "$1/Halvoran/Template/Brief.dotm"; }

# Registry text as sorted lines: "key" for each key and "key<TAB>name=data"
# for each value. Key paths and value names are case-folded, as the
# registry ignores their case; HKEY_CLASSES_ROOT is written as the machine
# tree it shows, and the 32-bit view's Wow6432Node step is dropped.
normalise_registry() {
    local bytes
    bytes=$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')
    if [ "$bytes" = fffe ]; then iconv -f UTF-16LE -t UTF-8 "$1"; else cat "$1"; fi |
        sed '1s/^\xef\xbb\xbf//' | tr -d '\r' |
        awk '
            # Long binary data continues on the next line after a backslash.
            pending != "" { $0 = pending $0; pending = "" }
            /\\$/ && !/^\[/ { pending = substr($0, 1, length($0) - 1); sub(/^[ \t]+/, "", pending); next }
            /^\[/ {
                key = tolower(substr($0, 2, length($0) - 2))
                sub(/^hkey_classes_root/, "hkey_local_machine\\software\\classes", key)
                gsub(/\\wow6432node/, "", key)
                print key
                next
            }
            /^@=/ { print key "\t@" substr($0, 2); next }
            /^"/ {
                end = index($0, "\"=")
                print key "\t" tolower(substr($0, 1, end)) substr($0, end + 1)
            }' |
        LC_ALL=C sort -u
}

# The entries of the fixture still present in the registry file $1. Entries
# outside the fixture (Windows' own, or the stand-in's SystemRoot) are not
# compared.
surviving_fixture_entries() {
    normalise_registry "$1" | LC_ALL=C grep -Fxf "$COMPARED/fixture.txt" || true
}

# The files of the fixture still present under the drive folders in $1,
# and every file left in the template folder, as relative paths.
surviving_files() {
    local root=$1 file
    while IFS= read -r file; do
        [ -e "$root/$file" ] && echo "$file"
    done < "$COMPARED/fixture-files.txt"
    (cd "$root/drive_h" && find Halvoran -type f | sed 's|^|drive_h/|')
}

normalise_registry "$FIXTURE/registry.reg" >"$COMPARED/fixture.txt"
(cd "$FIXTURE" && find drive_c drive_h -type f | LC_ALL=C sort) >"$COMPARED/fixture-files.txt"

# The stand-in machine: the fixture, and the Windows directory where Wine
# has it.
seed_stand_in() {
    rm -rf "$STAND_IN"
    mkdir -p "$STAND_IN"
    cp -r "$FIXTURE/drive_c" "$FIXTURE/drive_h" "$STAND_IN/"
    make_template_read_only "$STAND_IN/drive_h"
    {
        cat "$FIXTURE/registry.reg"
        printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n'
        printf '"SystemRoot"="C:\\\\windows"\n'
    } >"$STAND_IN/registry.reg"
}

# The same installation in Wine, over what a removal left.
seed_wine() {
    wine_import_reg "$FIXTURE/registry.reg"
    rm -rf "$WINE_DRIVE_H"
    cp -r "$FIXTURE/drive_h" "$WINE_DRIVE_H"
    wine_map_drive h "$WINE_DRIVE_H"
    make_template_read_only "$WINE_DRIVE_H"
    cp -r "$FIXTURE/drive_c/windows/." "$WINDOWS_DIR/"
}

seed_stand_in
echo "--- the portable program on the stand-in machine"
# Remove, dismiss the message, Exit.
if (cd "$STAND_IN" && printf 'r\n\ne\n' | timeout 120 "$PORTABLE") >"$E2E_WORK/portable.log" 2>&1 &&
    grep -qF 'Finished removing Halvoran OCX files!' "$E2E_WORK/portable.log"; then
    pass "the portable program removed the installation"
else
    fail "the portable program did not finish the removal:"
    sed 's/^/    /' "$E2E_WORK/portable.log"
fi

seed_wine
drive "stravik.exe removed the installation" \
    expect-window click-remove expect-message "Finished removing Halvoran OCX files!" \
    click-exit expect-exit 0

# Wine's drive C: as the stand-in lays it out, for the file comparison.
mkdir -p "$E2E_WORK/wine-machine"
ln -s "$WINEPREFIX/drive_c" "$E2E_WORK/wine-machine/drive_c"
ln -s "$WINE_DRIVE_H" "$E2E_WORK/wine-machine/drive_h"

compare() {
    local what=$1
    if diff -u --label stand-in --label wine "$COMPARED/$2.stand-in" "$COMPARED/$2.wine" \
        >"$COMPARED/$2.diff"; then
        pass "$what: the same on both machines ($(wc -l <"$COMPARED/$2.wine") lines)"
    else
        fail "$what differ:"
        sed 's/^/    /' "$COMPARED/$2.diff"
    fi
}

surviving_files "$STAND_IN" | LC_ALL=C sort -u >"$COMPARED/files.stand-in"
surviving_files "$E2E_WORK/wine-machine" | LC_ALL=C sort -u >"$COMPARED/files.wine"
compare "files left" files

wine_export_software "$E2E_WORK/wine-export.reg"
surviving_fixture_entries "$STAND_IN/registry.reg" >"$COMPARED/registry.stand-in"
surviving_fixture_entries "$E2E_WORK/wine-export.reg" >"$COMPARED/registry.wine"
compare "registry entries left" registry

# A comparison of two empty states would prove nothing: the neighbours
# must have survived on both.
check "the neighbours survived under Wine" \
    grep -qF 'conflict.11/quorwendocumentautomation.ocx' "$COMPARED/registry.wine"

# The console program: its output, every fate and message, and its exit
# code as a Unix shell sees it (modulo 256) appended to $1, from the stand-in
# and from Wine. The Windows directory is written as %WINDIR% and every
# path separator as a backslash, as in the registry's comparison.
console_both() {
    local round=$1 status
    shift
    for machine in stand-in wine; do
        status=0
        if [ "$machine" = stand-in ]; then
            (cd "$STAND_IN" && timeout 120 "$PORTABLE_CONSOLE" "$@") >"$E2E_WORK/console.txt" 2>&1 \
                </dev/null || status=$?
        else
            wine_run 'C:\stravik\stravikc.exe' "$@" >"$E2E_WORK/console.txt" 2>&1 </dev/null ||
                status=$?
        fi
        {
            echo "--- stravikc $* exits $status"
            tr -d '\r' <"$E2E_WORK/console.txt" |
                sed -e 's/[Cc]:[\\/][Ww][Ii][Nn][Dd][Oo][Ww][Ss]/%WINDIR%/g' -e 's|/|\\|g'
        } >>"$COMPARED/$round.$machine"
    done
}

# Each scope on a fresh installation: check, remove, and check and remove
# again on what the removal left. Then the template folder's drive
# unmapped, as for SYSTEM.
cp "$STRAVIK_CONSOLE" "$WINEPREFIX/drive_c/stravik/stravikc.exe"
for scope in everything /machine /user; do
    seed_stand_in
    seed_wine
    arguments=()
    [ "$scope" = everything ] || arguments=("$scope")
    for command in check remove check remove; do
        console_both "console-${scope#/}" "$command" "${arguments[@]}"
    done
    compare "stravikc, scope $scope: fates and exit codes" "console-${scope#/}"
done
seed_stand_in
seed_wine
rm -rf "$STAND_IN/drive_h" "$WINEPREFIX/dosdevices/h:"
for command in check remove; do
    console_both console-unmapped "$command"
done
compare "stravikc, H: not mapped: fates and exit codes" console-unmapped

# A file server's home folders, \\fileserver\homes on both machines (the
# stand-in's unc/fileserver/homes, Wine's dosdevices/unc/fileserver/homes):
# templates, a read-only one among them; none; links at Halvoran and at
# template to the server's files; Windows' own folder, hidden and system.
seed_homes() {
    local homes=$1 server=$2
    rm -rf "$homes" "$server"
    mkdir -p "$homes/anna/Halvoran/template/Archive" "$homes/bert/Documents" "$homes/carl" \
        "$homes/dora/Halvoran" "$homes/\$RECYCLE.BIN/Halvoran/template" "$server/template"
    for name in Letter.dotx Normal.dotx 'Résumé.dot'; do
        echo template >"$homes/anna/Halvoran/template/$name"
    done
    chmod a-w "$homes/anna/Halvoran/template/Normal.dotx"
    echo kept >"$homes/anna/Halvoran/template/Archive/Old.dotx"
    echo kept >"$homes/\$RECYCLE.BIN/Halvoran/template/Deleted.dotx"
    python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", b"0x16")' \
        "$homes/\$RECYCLE.BIN"
    echo server >"$server/template/Letter.dotx"
    ln -s "$server" "$homes/carl/Halvoran"
    ln -s "$server/template" "$homes/dora/Halvoran/template"
}
seed_homes "$STAND_IN/unc/fileserver/homes" "$E2E_WORK/stand-in-server"
seed_homes "$E2E_WORK/wine-homes" "$E2E_WORK/wine-server"
mkdir -p "$WINEPREFIX/dosdevices/unc/fileserver"
ln -sfn "$E2E_WORK/wine-homes" "$WINEPREFIX/dosdevices/unc/fileserver/homes"
console_both console-homes check /root '\\fileserver\homes\anna"'
console_both console-homes check /root '\\fileserver\homes\carl'
console_both console-homes check /homes '\\fileserver\homes'
console_both console-homes remove /homes "\\\\FILESERVER\\Homes\\"
console_both console-homes check /homes '\\fileserver\homes'
console_both console-homes remove /root "\\\\fileserver\\homes\\dora\\"
console_both console-homes check /root 'C:\Users\nobody'
compare "stravikc /root and /homes: fates and exit codes" console-homes
for machine in stand-in wine; do
    expect_file present "$E2E_WORK/$machine-server/template/Letter.dotx"
done

finish
