#!/usr/bin/env bash
# Times the Remove command on a template folder of 5,000 files against a
# plain FindFirstFileW/DeleteFileW loop over the same 5,000 files, both
# under Wine and both as 32-bit programs, on freshly made identical trees.
#
#   bench/remove_benchmark.sh [BUILD_DIR]      (default build/win32)
#
# The Remove time runs from the click to the finished message, so it
# includes the registry clean-up and the message box; the baseline time is
# the loop alone. Each is taken ROUNDS times (default 3) and the medians are
# compared.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/win32}")
rounds=${ROUNDS:-3}
files=5000
source "$root/scripts/wine-env.sh"
wine_require

if [ ! -f "$build/stravik.exe" ] || [ ! -f "$build/tests/e2e/driver.exe" ] ||
    [ ! -f "$build/remove_baseline.exe" ]; then
    cmake --build "$build"
fi

base=${STRAVIK_WINE_BASE:-$build/wine-base}
wine_make_base_prefix "$base"
work=$(mktemp -d "$(dirname "$base")/bench.XXXXXX")
cleanup() {
    [ "${WINEPREFIX:-}" != "$work/prefix" ] || wineserver -k 2>/dev/null || true
    wine_stop_display
    rm -rf "$work"
}
trap cleanup EXIT

wine_start_display
wine_new_prefix "$base" "$work/prefix"
mkdir -p "$WINEPREFIX/drive_c/bench/baseline"
cp "$build/stravik.exe" "$build/tests/e2e/driver.exe" "$build/remove_baseline.exe" \
    "$WINEPREFIX/drive_c/bench/"
wine_seed_control_registration
wine_seed_template_folder "$work/drive_h"
wine_settle

steps=(expect-window)
for ((round = 0; round < rounds; round++)); do
    steps+=(make-files 'H:\Halvoran\template' "$files" click-remove
        expect-message "Finished removing Halvoran OCX files!")
done
steps+=(click-exit expect-exit 0)

echo "Remove command: $rounds rounds of $files files (starting the program takes a while)"
wine_run 'C:\bench\driver.exe' --timeout 600 'C:\bench\stravik.exe' "${steps[@]}" \
    >"$work/remove.log" 2>&1 || true
grep -qx PASS "$work/remove.log" || { cat "$work/remove.log"; wine_fail "the Remove run failed"; }
left=$(find "$work/drive_h/Halvoran/template" -type f | wc -l)
[ "$left" -eq 0 ] || wine_fail "Remove left $left files"
mapfile -t remove_times < <(awk '/^step: expect-message/ { timed = 1 }
    timed && /^  ok \(/ { gsub(/[^0-9]/, ""); print; timed = 0 }' "$work/remove.log")

echo "Baseline loop: $rounds rounds of $files files"
wine_run 'C:\bench\remove_baseline.exe' 'C:\bench\baseline' "$files" "$rounds" \
    >"$work/baseline.log" 2>&1 || { cat "$work/baseline.log"; wine_fail "the baseline failed"; }
mapfile -t baseline_times < <(sed -n 's/^round [0-9]*: \([0-9]*\) ms.*/\1/p' "$work/baseline.log")
wine_settle

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
remove_median=$(median "${remove_times[@]}")
baseline_median=$(median "${baseline_times[@]}")
echo "Remove times (ms):   ${remove_times[*]}"
echo "Baseline times (ms): ${baseline_times[*]}"
echo "Median Remove: $remove_median ms; median baseline: $baseline_median ms"
awk -v r="$remove_median" -v b="$baseline_median" \
    'BEGIN { printf "Ratio Remove/baseline: %.2f\n", (b > 0 ? r / b : 0) }'
