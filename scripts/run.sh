#!/usr/bin/env bash
# Runs stravik.exe under Wine on a throwaway prefix seeded with a typical
# Halvoran installation: template files and a subfolder on drive H:, the
# control and both template files in C:\windows, every registry entry of
# scripts/installation.tsv, and neighbours that must stay. It prints an
# account of every target before and after the run.
#
# With a display the window opens for you, and the account follows once
# the program has ended. Without one the program runs on a private Xvfb
# inside a Wine virtual desktop (which draws the window frame): the window
# is shown, Remove pressed, the finished message read and confirmed, Exit
# pressed, and pictures of the window and of the message are saved to
# docs/window.png and docs/message.png.
#
# On a fresh Debian 12 machine it first installs what it needs, as the test
# command does.
#
#   scripts/run.sh [BUILD_DIR]      (default build/win32, built when needed)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/win32}")
"$root/scripts/install-deps.sh"
source "$root/scripts/halvoran-wine.sh"
wine_require

[ -f "$build/CMakeCache.txt" ] || (cd "$root" && cmake --preset win32 -B "$build" >/dev/null)
cmake --build "$build" --target stravik stravikc e2e_driver >/dev/null

base=${STRAVIK_WINE_BASE:-$build/wine-base}
wine_make_base_prefix "$base"
# The caller's display, if any, before the run starts a private one.
user_display=${DISPLAY:-}
wine_begin_run_with_exit_trap "$base" run
work=$WINE_WORK
mkdir -p "$WINEPREFIX/drive_c/stravik"
cp "$build/stravik.exe" "$build/stravikc.exe" "$build/tests/e2e/driver.exe" \
    "$WINEPREFIX/drive_c/stravik/"

templates=(Normal.dotx Letter.dotx Invoice.dotm)
seed_installation() {
    echo "Seeding a typical Halvoran installation."
    wine_seed_control_registration
    wine_seed_template_folder "$work/drive_h" "${templates[@]}"
    wine_seed_windows_files
}
seed_installation
wine_seed_neighbours
mkdir -p "$work/drive_h/Halvoran/template/Archive"
echo kept >"$work/drive_h/Halvoran/template/Archive/Old.dotx"
windows=$(wine_windows_dir)
echo neighbour >"$windows/Downloaded Program Files/Other.ocx"

# What the account covers, one line each: "group<US>name<US>check", where
# check is a Unix path ("file:...") or a registry entry as
# installation_registry writes it ("registry:...").
us=$'\037'
target() { printf '%s\037%s\037%s\n' "$@"; }
registry_targets() {
    installation_registry labelled "$2" "$WINDIR" | sed "s/^/$1$us/; s/$us/${us}registry:/2"
}
{
    for name in "${templates[@]}"; do
        target removes "H:\\Halvoran\\template\\$name" "file:$work/drive_h/Halvoran/template/$name"
    done
    target removes "$WINDIR\\Downloaded Program Files\\$OCX" "file:$windows/Downloaded Program Files/$OCX"
    target removes "$WINDIR\\Halvoran.dotm" "file:$windows/Halvoran.dotm"
    target removes "$WINDIR\\Halvoran.dot" "file:$windows/Halvoran.dot"
    registry_targets removes target
    target stays "H:\\Halvoran\\template\\Archive\\ (a subfolder)" \
        "file:$work/drive_h/Halvoran/template/Archive/Old.dotx"
    target stays "$WINDIR\\Downloaded Program Files\\Other.ocx" "file:$windows/Downloaded Program Files/Other.ocx"
    registry_targets stays neighbour
} >"$work/targets"

# Writes "present" or "absent" for each line of the targets to $1.
take_stock() {
    local out=$1 group name check
    wine_registry_entries "$work/registry.txt"
    while IFS="$us" read -r group name check; do
        case $check in
            file:*) [ -e "${check#file:}" ] ;;
            registry:*) grep -qixF -- "${check#registry:}" "$work/registry.txt" ;;
        esac && echo present || echo absent
    done <"$work/targets" >"$out"
}

# Prints the account: each target with its state before, or before and
# after, the run.
print_account() {
    local title=$1 after=${2:-} group name check before now state
    echo
    echo "$title"
    exec 3<"$work/before"
    [ -z "$after" ] || exec 4<"$after"
    local current=
    while IFS="$us" read -r group name check; do
        read -r before <&3
        if [ "$group" != "$current" ]; then
            current=$group
            [ "$group" = removes ] && echo "  What Stravik removes:" || echo "  What must stay:"
        fi
        if [ -z "$after" ]; then
            [ "$before" = present ] && state=present || state="not there"
        else
            read -r now <&4
            if [ "$before" = absent ]; then
                state="was not there"
            elif [ "$now" = absent ]; then
                state=removed
            else
                state=kept
            fi
        fi
        printf '    %-14s %s\n' "$state" "$name"
        printf '%s\t%s\n' "$group" "$state" >>"$work/tally"
    done <"$work/targets"
    exec 3<&-
    [ -z "$after" ] || exec 4<&-
    # One line of counts, such as "targets: 37 removed; must stay: 12 kept".
    sort "$work/tally" | uniq -c | awk -F '\t' '
        { split($1, head, " "); count = head[1]; group = head[2]
          label = group == "removes" ? "targets" : "must stay"
          text = (group == last ? text ", " : text (text == "" ? "" : "; ") label ": ") count " " $2
          last = group }
        END { print "  In all: " text }'
    rm -f "$work/tally"
}

wine_settle
take_stock "$work/before"
print_account "Before the run:"

if [ -n "$user_display" ]; then
    echo
    echo "Starting stravik.exe; it can take a minute where 32-bit code is emulated."
    wine_run 'C:\stravik\stravik.exe' || true
    wine_settle
else
    command -v convert >/dev/null || wine_fail "ImageMagick is missing (apt-get install imagemagick)"
    echo
    echo "No display: driving the window headless (takes a minute or two where 32-bit code is emulated)."
    # The driver and the program share the virtual desktop, so the driver
    # finds the window there.
    wine_run explorer /desktop=stravik,480x320 'C:\stravik\driver.exe' --timeout 300 \
        'C:\stravik\stravik.exe' expect-window capture 'C:\stravik\window.bmp' \
        click-remove capture-message 'C:\stravik\message.bmp' \
        expect-message "Finished removing Halvoran OCX files!" click-exit expect-exit 0 \
        >"$work/driver.log" 2>&1 || true
    wine_settle
    sed 's/^/  driver: /' "$work/driver.log"
    mkdir -p "$root/docs"
    for picture in window message; do
        shot="$WINEPREFIX/drive_c/stravik/$picture.bmp"
        [ -s "$shot" ] || wine_fail "no picture of the $picture was taken"
        convert "$shot" -strip "$root/docs/$picture.png"
        echo "Saved $root/docs/$picture.png"
    done
    grep -qx PASS "$work/driver.log" || wine_fail "the run through the window did not go as expected"
fi

take_stock "$work/after"
print_account "After the run:" "$work/after"

# The console program on the same PC, seeded again.
echo
seed_installation
for command in check remove check; do
    echo
    echo "> stravikc $command"
    status=0
    wine_run 'C:\stravik\stravikc.exe' "$command" </dev/null 2>&1 | sed 's/^/  /' ||
        status=${PIPESTATUS[0]}
    echo "  exit code $status"
done
