#!/usr/bin/env bash
# Times `stravikc remove /homes` under Wine over a folder of home folders,
# a quarter of them with templates, beside a plain FindFirstFileW/DeleteFileW
# loop over the same folders and files (sweep_baseline.exe), the least any
# sweep costs. Both are timed as whole programs, Wine's start included; the
# sweep of an empty folder shows that start alone, and the plain loop also
# times itself.
#
#   bench/sweep_benchmark.sh [BUILD]     (default build/win32; build/win64 for 64-bit)
#
# Settings from the environment: HOMES (default 2000), FILES per template
# folder (default 4), ROUNDS (default 5). Every figure is the median of its
# rounds; the folders are made afresh from the Unix side before each run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/win32}")
homes=${HOMES:-2000}
files=${FILES:-4}
rounds=${ROUNDS:-5}

# shellcheck source=/dev/null # checked on its own
source "$root/scripts/wine-env.sh"
wine_require
preset=$(basename "$build")
wine_begin_bench "$preset" "$build" "${STRAVIK_WINE_BASE:-$root/build/win32/wine-base}" \
    sweep-bench stravikc sweep_baseline
mkdir -p "$WINEPREFIX/dosdevices/unc/fileserver"
folder=$WINEPREFIX/drive_c/homes
ln -s "$folder" "$WINEPREFIX/dosdevices/unc/fileserver/homes"
# One Wine server for every run, as a running machine has.
wineserver -p

# $1 home folders, every fourth with Halvoran\template\ holding $files
# files, the others with a folder of documents and, every other one, an
# empty Halvoran.
make_homes() {
    rm -rf "$folder"
    mkdir -p "$folder"
    awk -v count="$1" -v files="$files" -v folder="$folder" 'BEGIN {
        for (h = 0; h < count; h++) {
            home = sprintf("%s/user%05d", folder, h)
            if (h % 4 == 0) {
                print home "/Halvoran/template"
                for (f = 0; f < files; f++) print "FILE " home sprintf("/Halvoran/template/t%d.dotx", f)
            } else {
                print home "/Documents"
                if (h % 2 == 1) print home "/Halvoran"
            }
        }
    }' | {
        folders=()
        made=()
        while read -r line; do
            if [[ $line == FILE\ * ]]; then made+=("${line#FILE }"); else folders+=("$line"); fi
        done
        [ "${#folders[@]}" -eq 0 ] || printf '%s\0' "${folders[@]}" | xargs -0 mkdir -p
        [ "${#made[@]}" -eq 0 ] || printf '%s\0' "${made[@]}" | xargs -0 touch
    }
}

# Prints the wall seconds of the Windows program and arguments given.
timed() {
    local started finished
    started=$(date +%s.%N)
    "$WINE_LOADER" "$@" >"$WINE_WORK/out.txt" 2>&1 </dev/null || true
    finished=$(date +%s.%N)
    echo "$finished - $started" | awk '{ print $1 - $3 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A times
for ((round = 1; round <= rounds; round++)); do
    make_homes 0
    times[empty]+="$(timed 'C:\bench\stravikc.exe' remove /homes 'C:\homes' /quiet)"$'\n'
    make_homes "$homes"
    times[sweep]+="$(timed 'C:\bench\stravikc.exe' remove /homes 'C:\homes' /quiet \
        /log 'C:\bench\sweep.log')"$'\n'
    left=$(find "$folder" -path '*/template/*' -type f | wc -l)
    [ "$left" -eq 0 ] || echo "round $round: the sweep left $left files" >&2
    make_homes "$homes"
    times[unc]+="$(timed 'C:\bench\stravikc.exe' remove /homes '\\fileserver\homes' /quiet)"$'\n'
    make_homes "$homes"
    times[plain]+="$(timed 'C:\bench\sweep_baseline.exe' 'C:\homes')"$'\n'
    inside=$(sed -n 's/^\([0-9]*\) us.*/\1/p' "$WINE_WORK/out.txt")
    times[inside]+="$(awk -v us="$inside" 'BEGIN { print us / 1e6 }')"$'\n'
    echo "round $round: $(tr -d '\r' <"$WINE_WORK/out.txt")"
done

declare -A medians
for figure in empty sweep unc plain inside; do
    medians[$figure]=$(printf '%s' "${times[$figure]}" | median)
done
deleted=$((((homes + 3) / 4) * files))
echo "$homes home folders, $(((homes + 3) / 4)) with templates, $deleted files, $rounds rounds, $preset:"
awk -v e="${medians[empty]}" -v s="${medians[sweep]}" -v u="${medians[unc]}" \
    -v p="${medians[plain]}" -v i="${medians[inside]}" -v h="$homes" 'BEGIN {
    printf "  stravikc, empty folder (its start):      %.2f s\n", e
    printf "  stravikc remove /homes C:\\homes /log:    %.2f s (%.0f us per home folder after its start)\n", s, (s - e) * 1e6 / h
    printf "  stravikc remove /homes \\\\fileserver\\homes: %.2f s\n", u
    printf "  plain loop, whole program:               %.2f s (loop alone %.3f s)\n", p, i
    printf "summary: sweep/plain=%.1f sweep-start/loop=%.1f\n", s / p, (s - e) / (i > 0 ? i : 0.001)
}'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
