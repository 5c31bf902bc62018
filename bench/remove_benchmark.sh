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
#   ROUNDS  rounds at each size            (default 3; the median counts)
#   BITS    which builds, in order         (default "64 32")
#
# Each round starts each program afresh, and the programs take turns, so
# that the machine's other work weighs on all of them alike. Remove is
# timed through the real window by the test driver, from the click to the
# finished message: the template-folder loop, the Windows directory's
# files, the registry clean-up and the message box; rounds with an empty
# folder show that fixed part. Its files are made before each round in the
# mapped drive's Unix folder, not through Wine, which takes quadratic time
# over a folder's size to create them. The two loops time themselves, after
# making their own files and the component. Every start of stravik.exe and
# of the minimal window is timed from the driver's CreateProcess to the main
# window shown, laid out, focused on Remove and answering messages.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build32=$(realpath -m "${1:-$root/build/win32}")
build64=$(realpath -m "${2:-$root/build/win64}")
read -r -a asked <<<"${SIZES:-500 5000 20000}"
# The empty folder is always measured first; a 0 in SIZES adds nothing.
sizes=()
for size in "${asked[@]}"; do
    [ "$size" = 0 ] || sizes+=("$size")
done
read -r -a bitnesses <<<"${BITS:-64 32}"
rounds=${ROUNDS:-3}
# The size the ratios of the summary line are taken at.
reference=5000
folder='H:\Halvoran\template'
finished='Finished removing Halvoran OCX files!'
programs=(stravik component_floor remove_baseline minimal_window remove_profile)

# shellcheck source=/dev/null # checked on its own
source "$root/scripts/halvoran-wine.sh"
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
wine_begin_run_with_exit_trap "$base" bench
work=$WINE_WORK
for bits in 32 64; do
    build=$build32
    [ "$bits" = 32 ] || build=$build64
    mkdir -p "$WINEPREFIX/drive_c/bench/$bits"
    for program in "${programs[@]}"; do
        cp "$build/$program.exe" "$WINEPREFIX/drive_c/bench/$bits/"
    done
done
cp "$build32/tests/e2e/driver.exe" "$WINEPREFIX/drive_c/bench/"
wine_seed_template_folder "$work/drive_h"
template=$work/drive_h/Halvoran/template
wine_settle

# One Wine server for the whole run: no program waits for the last one's
# server to wind down, and none races with it.
wineserver -p

fail() {
    [ ! -f "$work/log" ] || cat "$work/log" >&2
    wine_fail "$*"
    exit 1
}

# Every timing, in microseconds, under "bits what size".
declare -A times
record() { times["$1 $2 $3"]="${times["$1 $2 $3"]:-} $4"; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
median_of() {
    # shellcheck disable=SC2086 # a list of numbers
    median ${times["$1"]:-}
}
# The first number that the sed expression $1 picks out of the last log.
picked() { sed -n "s/$1/\\1/p" "$work/log" | head -n 1; }

# The driver with a 5 ms look-out against C:\bench\BITS\PROGRAM.exe: the
# window's start-up, then the steps, then Exit.
drive() {
    local bits=$1 program=$2
    shift 2
    wine_run 'C:\bench\driver.exe' --timeout 600 --poll 5 "C:\\bench\\$bits\\$program.exe" \
        expect-window "$@" click-exit expect-exit 0 >"$work/log" 2>&1 </dev/null || true
    grep -qx PASS "$work/log" || fail "the driver failed on the $bits-bit $program"
    picked '^  ready \([0-9]*\) us after the start$'
}

# $1 empty files named as the programs name theirs (file0000.dat and on),
# made in the template folder's Unix folder.
make_template_files() {
    (cd "$template" && seq -f 'file%04g.dat' 0 $(($1 - 1)) | xargs -r touch)
}

# One Remove of a folder of $2 files in a fresh stravik.exe: its time, the
# start-up, and the peak working set afterwards.
remove_round() {
    local bits=$1 size=$2 start
    # The control's registration, in the registry view of this build, for
    # the program to find the install drive in and to clear.
    WINE_REG_VIEW=$bits wine_seed_control_registration
    make_template_files "$size"
    start=$(drive "$bits" stravik click-remove expect-message "$finished" peak-memory)
    [ -z "$(find "$template" -type f)" ] || fail "Remove left files in the template folder"
    record "$bits" start "" "$start"
    record "$bits" remove "$size" "$(picked '^  shown \([0-9]*\) us after the click$')"
    record "$bits" peak "$size" "$(picked '^  peak working set: \([0-9]*\) bytes$')"
}

# One round of a loop program (component_floor or remove_baseline), recorded
# as floor or plain; the program creates the files, then times the loop alone.
loop_round() {
    local program=$1 what=$2 bits=$3 size=$4
    wine_run "C:\\bench\\$bits\\$program.exe" "$folder" 1 "$size" >"$work/log" 2>&1 </dev/null ||
        fail "the $bits-bit $what loop failed"
    record "$bits" "$what" "$size" "$(picked '^files [0-9]* round 1: \([0-9]*\) us, .*')"
}

# Remove's loop with the program's own code, each step timed apart.
profile() {
    local bits=$1 step
    wine_run "C:\\bench\\$bits\\remove_profile.exe" "$folder" "$rounds" "$reference" \
        >"$work/log" 2>&1 </dev/null || fail "the $bits-bit profile failed"
    for step in pin list delete confirm; do
        while read -r took; do
            record "$bits" "$step" "$reference" "$took"
        done < <(sed -n "s/^round .* $step \\([0-9]*\\) us.*/\\1/p" "$work/log")
    done
}

# The rounds of all programs take turns, so that whatever else the machine
# is doing weighs on each about equally.
for bits in "${bitnesses[@]}"; do
    for size in 0 "${sizes[@]}"; do
        echo "$bits-bit: $rounds rounds at $size files ($((SECONDS - began)) s)"
        for ((round = 1; round <= rounds; round++)); do
            remove_round "$bits" "$size"
            record "$bits" minimal "" "$(drive "$bits" minimal_window)"
            if [ "$size" != 0 ]; then
                loop_round component_floor floor "$bits" "$size"
                loop_round remove_baseline plain "$bits" "$size"
            fi
        done
    done
    echo "$bits-bit: profile of Remove's loop at $reference files"
    profile "$bits"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }
ms() { awk -v t="$1" 'BEGIN { printf "%.1f", t / 1000 }'; }
per_file() { awk -v t="$1" -v n="$2" 'BEGIN { if (n > 0) printf "%.1f", t / n; else printf "-" }'; }

all_ms() {
    local took
    # shellcheck disable=SC2086 # a list of numbers
    for took in ${times["$1"]}; do ms "$took" && echo; done | xargs
}

declare -A summary
echo
echo "Medians of $rounds rounds: ms for the whole folder, then us per file"
printf '%-4s %6s %9s %9s %9s  %7s %7s %7s  %12s %12s\n' bits files remove floor plain \
    remove floor plain remove/floor remove/plain
for bits in "${bitnesses[@]}"; do
    printf '%-4s %6s %9s   (no files: the Windows files, the registry, the message box)\n' \
        "$bits" 0 "$(ms "$(median_of "$bits remove 0")")"
    for size in "${sizes[@]}"; do
        remove=$(median_of "$bits remove $size")
        floor=$(median_of "$bits floor $size")
        plain=$(median_of "$bits plain $size")
        printf '%-4s %6s %9s %9s %9s  %7s %7s %7s  %12s %12s\n' "$bits" "$size" \
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
echo "Every round, in the order taken (ms)"
for bits in "${bitnesses[@]}"; do
    for size in 0 "${sizes[@]}"; do
        for what in remove floor plain; do
            [ -z "${times["$bits $what $size"]:-}" ] ||
                printf '%-4s %6s %-7s %s\n' "$bits" "$size" "$what" "$(all_ms "$bits $what $size")"
        done
    done
done
echo
echo "Where Remove's loop spends its time at $reference files (medians of $rounds; ms, us per file)"
for bits in "${bitnesses[@]}"; do
    line="$bits-bit:"
    for step in pin list delete confirm; do
        took=$(median_of "$bits $step $reference")
        line+=" $step $(ms "$took") ($(per_file "$took" "$reference"))"
    done
    echo "$line"
done
echo "    pin: the folders from the drive's root held open; list: the component's GetFolder,"
echo "    then the names read from the held folder (NtQueryDirectoryFile); delete: each file"
echo "    opened by its name in the held folder (NtCreateFile), checked (standard, name and basic information),"
echo "    read-only cleared if set, marked for deletion, closed; confirm: once at the end,"
echo "    the folder's path still leads to the held folder"
echo
echo "Start-up to the window ready for a click, median of every start (ms)"
for bits in "${bitnesses[@]}"; do
    start=$(median_of "$bits start ")
    minimal=$(median_of "$bits minimal ")
    summary[start$bits]=$(ratio "$start" "$minimal")
    echo "$bits-bit: stravik $(ms "$start"), minimal window $(ms "$minimal"), ratio ${summary[start$bits]}"
    echo "    stravik: $(all_ms "$bits start ")"
    echo "    minimal: $(all_ms "$bits minimal ")"
done
echo
exe=$(stat -c %s "$build32/stravik.exe")
echo "stravik.exe: $exe bytes (the 64-bit build: $(stat -c %s "$build64/stravik.exe") bytes)"
for bits in "${bitnesses[@]}"; do
    echo "$bits-bit peak working set after one Remove of $reference files:" \
        "$(median_of "$bits peak $reference") bytes (median of $rounds)"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); took $((SECONDS - began)) s"
echo "summary: remove/floor32=${summary[floor32]:-n/a} remove/floor64=${summary[floor64]:-n/a}" \
    "remove/plain32=${summary[plain32]:-n/a} remove/plain64=${summary[plain64]:-n/a}" \
    "start/minimal32=${summary[start32]:-n/a} start/minimal64=${summary[start64]:-n/a} exe=$exe"
