#!/usr/bin/env bash
# Times the Remove command against the floor that the file-system component
# sets (its minimal late-bound loop) and against a plain
# FindFirstFileW/DeleteFileW loop, at several folder sizes, as the 32-bit
# product and as the same programs built 64-bit; times the start-up against
# a minimal window with two buttons; prints the executable's size and the
# program's peak working set. Everything runs under Wine in one prefix.
#
#   bench/remove_benchmark.sh [WIN32_BUILD [WIN64_BUILD]]
#                                     (default build/win32 and build/win64)
#
# Settings from the environment:
#   SIZES   folder sizes, in files         (default "500 5000 20000")
#   ROUNDS  timed rounds at each size      (default 3; the median counts)
#   STARTS  start-ups timed per program    (default 3; the median counts)
#   BITS    which builds, in order         (default "64 32")
#
# Remove is timed through the real window by the test driver, from the
# click to the finished message: the template-folder loop, the Windows
# directory's files, the registry clean-up and the message box. Rounds with
# an empty folder show that fixed part. The two loops time themselves,
# without creating the component or the files. Start-up runs from the
# driver's CreateProcess to the main window shown, laid out, focused on
# Remove and answering messages.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build32=$(realpath -m "${1:-$root/build/win32}")
build64=$(realpath -m "${2:-$root/build/win64}")
read -r -a sizes <<<"${SIZES:-500 5000 20000}"
read -r -a bitnesses <<<"${BITS:-64 32}"
rounds=${ROUNDS:-3}
starts=${STARTS:-3}
# The size the ratios of the summary line are taken at.
reference=5000
folder='H:\Halvoran\template'
finished='Finished removing Halvoran OCX files!'
programs=(stravik component_floor remove_baseline minimal_window)

# shellcheck source=/dev/null # checked on its own
source "$root/scripts/wine-env.sh"
wine_require

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
began=$SECONDS

# The product's build makes the driver; the 64-bit build is configured with
# the win64 preset's toolchain when it is not there yet.
[ -f "$build64/CMakeCache.txt" ] || cmake --preset win64 -B "$build64" >/dev/null
cmake --build "$build32" --target "${programs[@]}" e2e_driver >/dev/null
cmake --build "$build64" --target "${programs[@]}" >/dev/null

base=${STRAVIK_WINE_BASE:-$build32/wine-base}
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
for bits in 32 64; do
    build=$build32
    [ "$bits" = 32 ] || build=$build64
    mkdir -p "$WINEPREFIX/drive_c/bench/$bits"
    for program in "${programs[@]}"; do
        cp "$build/$program.exe" "$WINEPREFIX/drive_c/bench/$bits/"
    done
done
cp "$build32/tests/e2e/driver.exe" "$WINEPREFIX/drive_c/bench/"
# The registration in both registry views, so that each build finds the
# install drive and clears the same entries.
wine_seed_control_registration
WINE_REG_VIEW=64 wine_seed_control_registration
wine_seed_template_folder "$work/drive_h"
template=$work/drive_h/Halvoran/template
wine_settle

fail() {
    [ ! -f "$work/log" ] || cat "$work/log"
    wine_fail "$*"
}

# Every timing, in microseconds, under "bits program size".
declare -A times
record() { times["$1 $2 $3"]="${times["$1 $2 $3"]:-} $4"; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
median_of() {
    # shellcheck disable=SC2086 # a list of numbers
    median ${times["$1"]}
}

# The driver with a 5 ms look-out, against C:\bench\BITS\PROGRAM.exe.
drive() {
    local bits=$1 program=$2
    shift 2
    wine_run 'C:\bench\driver.exe' --timeout 1500 --poll 5 "C:\\bench\\$bits\\$program.exe" "$@" \
        >"$work/log" 2>&1 || true
    grep -qx PASS "$work/log" || fail "the driver failed on the $bits-bit $program"
    wine_settle
}

start_time() { sed -n 's/^  ready \([0-9]*\) us after the start$/\1/p' "$work/log"; }

# Remove at every size through one window, with the peak working set after
# the first Remove at the reference size.
time_remove() {
    local bits=$1 size round steps=(expect-window) order=()
    for size in 0 "${sizes[@]}"; do
        for ((round = 1; round <= rounds; round++)); do
            steps+=(make-files "$folder" "$size" click-remove expect-message "$finished")
            order+=("$size")
            if [ "$size" = "$reference" ] && [ "$round" = 1 ]; then
                steps+=(peak-memory)
            fi
        done
    done
    drive "$bits" stravik "${steps[@]}" click-exit expect-exit 0
    [ -z "$(find "$template" -type f)" ] || fail "Remove left files in the template folder"
    record "$bits" start "" "$(start_time)"
    peak[$bits]=$(sed -n 's/^  peak working set: \([0-9]*\) bytes$/\1/p' "$work/log")
    local index=0 took
    while read -r took; do
        record "$bits" remove "${order[index]}" "$took"
        index=$((index + 1))
    done < <(sed -n 's/^  shown \([0-9]*\) us after the click$/\1/p' "$work/log")
    [ "$index" = "${#order[@]}" ] || fail "the driver timed $index of ${#order[@]} Removes"
}

# The floor's own rounds: "files N round R: U us, K deleted".
time_floor() {
    local bits=$1 program=component_floor size took
    wine_run "C:\\bench\\$bits\\$program.exe" "$folder" "$rounds" "${sizes[@]}" \
        >"$work/log" 2>&1 || fail "the $bits-bit $program failed"
    wine_settle
    while read -r size took; do
        record "$bits" "$program" "$size" "$took"
    done < <(sed -n 's/^files \([0-9]*\) round [0-9]*: \([0-9]*\) us, .*/\1 \2/p' "$work/log")
}

# The plain loop, one run a size: "round R: M ms, K files".
time_plain() {
    local bits=$1 size took
    for size in "${sizes[@]}"; do
        wine_run "C:\\bench\\$bits\\remove_baseline.exe" "$folder" "$size" "$rounds" \
            >"$work/log" 2>&1 || fail "the $bits-bit plain loop failed"
        wine_settle
        while read -r took; do
            record "$bits" remove_baseline "$size" "$((took * 1000))"
        done < <(sed -n 's/^round [0-9]*: \([0-9]*\) ms, .*/\1/p' "$work/log")
    done
}

# Start-ups, the two programs in turn; Remove's run gave the first of
# stravik's.
time_starts() {
    local bits=$1 start program
    for ((start = 1; start <= starts; start++)); do
        for program in minimal_window stravik; do
            [ "$program" = minimal_window ] || [ "$start" -lt "$starts" ] || continue
            drive "$bits" "$program" expect-window click-exit expect-exit 0
            record "$bits" "$([ "$program" = stravik ] && echo start || echo minimal)" "" \
                "$(start_time)"
        done
    done
}

declare -A peak
for bits in "${bitnesses[@]}"; do
    echo "$bits-bit: Remove through the window ($rounds rounds at 0 ${sizes[*]} files)"
    time_remove "$bits"
    echo "$bits-bit: the component's floor and the plain loop"
    time_floor "$bits"
    time_plain "$bits"
    echo "$bits-bit: start-ups ($starts each)"
    time_starts "$bits"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }
ms() { awk -v t="$1" 'BEGIN { printf "%.1f", t / 1000 }'; }
per_file() { awk -v t="$1" -v n="$2" 'BEGIN { if (n > 0) printf "%.1f", t / n; else printf "-" }'; }

declare -A summary
echo
echo "Medians of $rounds rounds; ms for the whole folder, us per file"
printf '%-4s %6s  %10s %10s %10s  %8s %8s %8s  %12s %12s\n' bits files remove_ms floor_ms \
    plain_ms rm_us/f fl_us/f pl_us/f remove/floor remove/plain
for bits in "${bitnesses[@]}"; do
    for size in 0 "${sizes[@]}"; do
        remove=$(median_of "$bits remove $size")
        if [ "$size" = 0 ]; then
            printf '%-4s %6s  %10s   (fixed part: Windows files, registry, message box)\n' \
                "$bits" 0 "$(ms "$remove")"
            continue
        fi
        floor=$(median_of "$bits component_floor $size")
        plain=$(median_of "$bits remove_baseline $size")
        printf '%-4s %6s  %10s %10s %10s  %8s %8s %8s  %12s %12s\n' "$bits" "$size" \
            "$(ms "$remove")" "$(ms "$floor")" "$(ms "$plain")" "$(per_file "$remove" "$size")" \
            "$(per_file "$floor" "$size")" "$(per_file "$plain" "$size")" \
            "$(ratio "$remove" "$floor")" "$(ratio "$remove" "$plain")"
        if [ "$size" = "$reference" ]; then
            summary[floor$bits]=$(ratio "$remove" "$floor")
            summary[plain$bits]=$(ratio "$remove" "$plain")
        fi
    done
done
echo
echo "Every round (ms)"
for bits in "${bitnesses[@]}"; do
    for size in 0 "${sizes[@]}"; do
        for program in remove component_floor remove_baseline; do
            [ -n "${times["$bits $program $size"]:-}" ] || continue
            # shellcheck disable=SC2086 # a list of numbers
            printf '%-4s %6s %-16s %s\n' "$bits" "$size" "$program" \
                "$(for took in ${times["$bits $program $size"]}; do ms "$took"; echo; done | xargs)"
        done
    done
done
echo
echo "Start-up to the window ready for a click, medians of $starts (ms)"
for bits in "${bitnesses[@]}"; do
    start=$(median_of "$bits start ")
    minimal=$(median_of "$bits minimal ")
    summary[start$bits]=$(ratio "$start" "$minimal")
    echo "$bits-bit: stravik $(ms "$start"), minimal window $(ms "$minimal")," \
        "ratio ${summary[start$bits]}  (stravik:${times["$bits start "]}; minimal:${times["$bits minimal "]})"
done
echo
exe=$(stat -c %s "$build32/stravik.exe")
echo "stravik.exe: $exe bytes (64-bit build: $(stat -c %s "$build64/stravik.exe") bytes)"
for bits in "${bitnesses[@]}"; do
    echo "$bits-bit peak working set after one Remove of $reference files: ${peak[$bits]} bytes"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); took $((SECONDS - began)) s"
echo "summary: remove/floor32=${summary[floor32]:-n/a} remove/floor64=${summary[floor64]:-n/a}" \
    "remove/plain32=${summary[plain32]:-n/a} remove/plain64=${summary[plain64]:-n/a}" \
    "start/minimal32=${summary[start32]:-n/a} start/minimal64=${summary[start64]:-n/a} exe=$exe"
