#!/usr/bin/env bash
# Times `stravikc report` over an estate's logs under Wine and sets it
# beside a plain line count of the same files (`wc -l`), the least any
# reader of them costs: 10,000 computers' logs of 5 start-up runs each and
# 10,000 users' logs, and then one log of about 200 MB. Prints the time,
# the lines per second of both, and the report's peak resident memory (the
# Unix process's, Wine's own libraries included), which must not grow with
# the size of a log. Last, one user's log of about 90 MB whose runs claim
# 8,000 other computers: its peak must stay near that of an estate of 20
# computers, or the script fails.
#
#   bench/report_benchmark.sh [WIN32_BUILD]     (default build/win32)
#
# Settings from the environment: COMPUTERS (default 10000), RUNS (default
# 5), BIG_MB (default 200), FLOOD_MB (default 90).
#
# The files are written by the Unix side, so under Wine every one is owned
# by Wine's user: the report trusts them by their place (/trustnames), as
# it would on a share that records no owners.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/win32}")
computers=${COMPUTERS:-10000}
runs=${RUNS:-5}
big_mb=${BIG_MB:-200}
flood_mb=${FLOOD_MB:-90}

# shellcheck source=/dev/null # checked on its own
source "$root/scripts/wine-env.sh"
wine_require
wine_begin_bench win32 "$build" "${STRAVIK_WINE_BASE:-$build/wine-base}" report-bench stravikc

# Records as the start-up and logon scripts write them: a first run that
# removes, then clean runs; one logon run per user.
make_estate() {
    local logs=$1
    mkdir -p "$logs/computers" "$logs/users"
    awk -v computers="$computers" -v runs="$runs" -v logs="$logs" 'BEGIN {
        for (c = 1; c <= computers; c++) {
            name = sprintf("PC%05d", c)
            file = logs "/computers/" name ".log"
            for (r = 1; r <= runs; r++) {
                p = sprintf("2026-12-%02dT07:%02d:%02dZ %s[%d] ", r, c % 60, r, name, 1000 + r)
                printf "%sstart 2026-12-%02dT07:%02d:%02dZ, version 1.00, format 1, command remove, scope machine, user SYSTEM, elevated yes, command line: \"\\\\server\\share\\stravik\\stravikc.exe\" remove /machine /quiet /log \"\\\\server\\share\\stravik\\logs\\computers\\%s.log\"\r\n", p, r, c % 60, r, name > file
                if (r == 1) {
                    printf "%sremoved: C:\\WINDOWS\\Downloaded Program Files\\QuorwenDocumentAutomation.OCX\r\n", p > file
                    printf "%sremoved: C:\\WINDOWS\\Halvoran.dotm\r\n", p > file
                }
                printf "%sFinished removing Halvoran OCX files!\r\n", p > file
                printf "%ssummary: removed %d, not there %d, left 0, deleted at the next restart 0, present 0, cannot be reached 0\r\n", p, r == 1 ? 2 : 0, r == 1 ? 32 : 34 > file
                printf "%send 2026-12-%02dT07:%02d:%02dZ, exit code 0\r\n", p, r, c % 60, r + 1 > file
            }
            close(file)
            file = logs "/users/" name "-user" c ".log"
            p = sprintf("2026-12-01T08:%02d:00Z %s[%d] ", c % 60, name, 2000)
            printf "%sstart 2026-12-01T08:%02d:00Z, version 1.00, format 1, command remove, scope user, user user%d, elevated no, command line: x\r\n", p, c % 60, c > file
            printf "%stemplate folder: H:\\Halvoran\\template\\ (drive from /drive)\r\n", p > file
            printf "%sremoved: H:\\Halvoran\\template\\Letter.dotx\r\n", p > file
            printf "%sFinished removing Halvoran OCX files!\r\n", p > file
            printf "%ssummary: removed 1, not there 0, left 0, deleted at the next restart 0, present 0, cannot be reached 0\r\n", p > file
            printf "%send 2026-12-01T08:%02d:01Z, exit code 0\r\n", p, c % 60 > file
            close(file)
        }
    }'
}

# One computer's log grown to about BIG_MB megabytes by years of start-ups.
make_big_log() {
    local logs=$1
    mkdir -p "$logs/computers"
    awk -v bytes="$((big_mb * 1024 * 1024))" -v file="$logs/computers/PCBIG.log" 'BEGIN {
        written = 0
        for (r = 1; written < bytes; r++) {
            p = sprintf("2026-12-09T07:%02d:%02dZ PCBIG[%d] ", int(r / 60) % 60, r % 60, r)
            line = p "start 2026-12-09T07:00:00Z, version 1.00, format 1, command remove, scope machine, user SYSTEM, elevated yes, command line: x\r\n" \
                   p "Finished removing Halvoran OCX files!\r\n" \
                   p "summary: removed 0, not there 34, left 0, deleted at the next restart 0, present 0, cannot be reached 0\r\n" \
                   p "end 2026-12-09T07:00:01Z, exit code 0\r\n"
            printf "%s", line > file
            written += length(line)
        }
    }'
}

# One user's log of about FLOOD_MB megabytes whose runs each claim another
# of 8,000 computers.
make_flood_log() {
    local logs=$1
    mkdir -p "$logs/users"
    awk -v bytes="$((flood_mb * 1024 * 1024))" -v file="$logs/users/PC00001-flood.log" 'BEGIN {
        written = 0
        for (r = 1; written < bytes; r++) {
            p = sprintf("2026-12-09T08:%02d:%02dZ PCF%05d[%d] ", int(r / 60) % 60, r % 60, r % 8000, r)
            line = p "start 2026-12-09T08:00:00Z, version 1.00, format 1, command remove, scope user, user flood, elevated no, command line: x\r\n" \
                   p "end 2026-12-09T08:00:01Z, exit code 0\r\n"
            printf "%s", line > file
            written += length(line)
        }
    }'
}

# Prints "seconds peak-KiB" for a report over the Windows folder $1: the
# resident peak (VmHWM) of the program's Unix process, Wine's own
# libraries included, read as it runs. The 64-bit loader starts the 32-bit
# program as a process of its own, found by its name.
time_report() {
    local started finished job program peak=0 now
    started=$(date +%s.%N)
    "$WINE_LOADER" 'C:\bench\stravikc.exe' report "$1" /trustnames >"$WINE_WORK/report.txt" 2>&1 </dev/null &
    job=$!
    while kill -0 "$job" 2>/dev/null; do
        program=$(pgrep -n -x stravikc.exe || true)
        now=
        [ -z "$program" ] ||
            now=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$program/status" 2>/dev/null || true)
        [ -z "$now" ] || [ "$now" -le "$peak" ] || peak=$now
        sleep 0.01
    done
    wait "$job" || true
    finished=$(date +%s.%N)
    echo "$(echo "$finished - $started" | awk '{ print $1 - $3 }') $peak"
}

# Prints "seconds lines" for wc -l over the Unix folder $1.
time_line_count() {
    local started finished lines
    started=$(date +%s.%N)
    lines=$(find "$1" -type f -print0 | xargs -0 cat | wc -l)
    finished=$(date +%s.%N)
    echo "$(echo "$finished - $started" | awk '{ print $1 - $3 }') $lines"
}

figures() {
    local what=$1 folder=$2 unix=$3
    read -r seconds peak < <(time_report "$folder")
    last_peak=$peak
    read -r floor lines < <(time_line_count "$unix")
    grep -m 1 'Stravik estate report' "$WINE_WORK/report.txt" | sed 's/^/  /'
    awk -v what="$what" -v s="$seconds" -v f="$floor" -v l="$lines" -v m="$peak" 'BEGIN {
        printf "%s: %d lines, report %.2f s (%.0f lines/s), wc -l %.2f s (%.0f lines/s), report/wc %.1f, peak %d KiB\n",
            what, l, s, l / (s > 0 ? s : 1), f, l / (f > 0 ? f : 0.001), s / (f > 0 ? f : 0.001), m
    }'
}

drive_c=$WINEPREFIX/drive_c
make_estate "$drive_c/estate"
figures "estate ($computers computers x $runs runs + $computers users)" 'C:\estate' "$drive_c/estate"
make_big_log "$drive_c/big"
figures "one log of $big_mb MB" 'C:\big' "$drive_c/big"
computers=20 make_estate "$drive_c/small"
figures "a small estate (20 computers)" 'C:\small' "$drive_c/small"
small_peak=$last_peak
make_flood_log "$drive_c/flood"
figures "one log of $flood_mb MB claiming 8,000 computers" 'C:\flood' "$drive_c/flood"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
# Near: within a quarter of the small estate's peak, and 4 MiB.
if [ "$last_peak" -gt $((small_peak * 5 / 4 + 4096)) ]; then
    echo "FAIL: one log's claims took the peak to $last_peak KiB, a small estate's is $small_peak KiB"
    exit 1
fi
echo "ok: one log's claims keep the peak at $last_peak KiB, a small estate's is $small_peak KiB"
