#!/usr/bin/env bash
# Runs stravik.exe under Wine on a throwaway prefix seeded with a typical
# Halvoran installation (templates on drive H:, the control and both
# template files in C:\windows, the control's registry entries).
#
# With a display the window opens for you; the prefix goes when the program
# ends. Without one the program runs on a private Xvfb inside a Wine virtual
# desktop (which draws the window frame), a picture of the window is saved
# to docs/screenshot.png and the program is closed.
#
#   scripts/run.sh [BUILD_DIR]      (default build/win32, built when needed)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/win32}")
source "$root/scripts/wine-env.sh"
wine_require

if [ ! -f "$build/stravik.exe" ] || [ ! -f "$build/tests/e2e/driver.exe" ]; then
    [ -f "$build/CMakeCache.txt" ] || (cd "$root" && cmake --preset win32 -B "$build" >/dev/null)
    cmake --build "$build"
fi

base=${STRAVIK_WINE_BASE:-$build/wine-base}
wine_make_base_prefix "$base"
work=$(mktemp -d "$(dirname "$base")/run.XXXXXX")
cleanup() {
    [ "${WINEPREFIX:-}" != "$work/prefix" ] || wineserver -k 2>/dev/null || true
    wine_stop_display
    rm -rf "$work"
}
trap cleanup EXIT

user_display=${DISPLAY:-}
wine_start_display
wine_new_prefix "$base" "$work/prefix"
mkdir -p "$WINEPREFIX/drive_c/stravik"
cp "$build/stravik.exe" "$WINEPREFIX/drive_c/stravik/"
wine_seed_control_registration
wine_seed_template_folder "$work/drive_h" Normal.dotx Letter.dotx Invoice.dotm
wine_seed_windows_files
wine_settle

if [ -n "$user_display" ]; then
    echo "Starting stravik.exe; it can take a minute where 32-bit code is emulated."
    wine_run 'C:\stravik\stravik.exe'
    wine_settle
    exit 0
fi

command -v convert >/dev/null || wine_fail "ImageMagick is missing (apt-get install imagemagick)"
cp "$build/tests/e2e/driver.exe" "$WINEPREFIX/drive_c/stravik/"
echo "No display: running headless for a screenshot (takes a minute or two)."
# The driver and the program share the virtual desktop, so the driver finds
# the window there; it captures the window and closes it by its title bar.
wine_run explorer /desktop=stravik,480x320 'C:\stravik\driver.exe' --timeout 300 \
    'C:\stravik\stravik.exe' expect-window capture 'C:\stravik\window.bmp' close expect-exit 0 \
    >/dev/null 2>&1 || true
wine_settle
shot="$WINEPREFIX/drive_c/stravik/window.bmp"
[ -s "$shot" ] || wine_fail "the window did not appear; no screenshot taken"
mkdir -p "$root/docs"
convert "$shot" "$root/docs/screenshot.png"
echo "Saved $root/docs/screenshot.png"
