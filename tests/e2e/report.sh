#!/usr/bin/env bash
# The estate report over a share of logs that real runs under Wine wrote,
# each as another computer: a clean PC, one whose control was in use, one
# without its H: drive, one whose removal a held template file stopped, one
# killed in the middle of a large folder, and a user's log that someone
# forged with markup in its names; besides them a run still being written,
# a log that cannot be opened, and a user's log that another Unix user owns;
# then a sweep of a file server's home folders, the Wine user's among them,
# that empties the template folder the failing logon scripts left.
# The report reads them from the Unix side's share as an administrator's
# scheduled task would, first trusting each log by its place (Wine has no
# computer accounts to own the machines' logs), then by its owner, which
# Wine makes from the file's Unix owner; the page is opened in a real
# browser.
# shellcheck disable=SC1091 # sourced from beside this script
source "$(dirname "$0")/scenario.sh"
: "${STRAVIK_CONSOLE64:?the 64-bit stravikc.exe is not set}"
command -v chromium >/dev/null || wine_fail "chromium is missing: run scripts/install-deps.sh"

export WINE_REG_VIEW=64
cp "$STRAVIK_CONSOLE64" "$WINEPREFIX/drive_c/stravik/stravikc.exe"
cp "$E2E_DRIVER" "$WINEPREFIX/drive_c/stravik/driver.exe"
SHARE=$WINEPREFIX/drive_c/share
LOGS=$SHARE/logs
mkdir -p "$LOGS/computers" "$LOGS/users"
OUT=$E2E_WORK/out.txt
USER_NAME=$(id -un)

# One server for the whole scenario: Wine takes the computer's name from
# the host's when its server starts, and from the registry while it runs.
wineserver -p
become() {
    local key
    for key in ComputerName ActiveComputerName; do
        wine_run reg add "HKLM\\System\\CurrentControlSet\\Control\\ComputerName\\$key" \
            /v ComputerName /d "$1" /f >/dev/null 2>&1
    done
}
# stravikc with the expected exit code (modulo 256) first.
stravikc() {
    local expected=$1 status=0
    shift
    wine_run 'C:\stravik\stravikc.exe' "$@" >"$OUT" 2>&1 </dev/null || status=$?
    check "stravikc $* exits $expected (got $status)" [ "$status" -eq $((expected % 256)) ]
}
machine_log() { echo "C:\\share\\logs\\computers\\$1.log"; }
user_log() { echo "C:\\share\\logs\\users\\$1-$USER_NAME.log"; }
seed_pc() {
    wine_seed_control_registration
    wine_seed_windows_files
    seed_template_folder a.dot b.dot
}

echo "--- the estate's runs"
become PC-CLEAN
seed_pc
stravikc 0 remove /machine /quiet /log "$(machine_log PC-CLEAN)"
stravikc 0 remove /user /drive H /quiet /log "$(user_log PC-CLEAN)"

become PC-INUSE
seed_pc
wine_run 'C:\stravik\driver.exe' --hold "C:\\windows\\Downloaded Program Files\\$OCX" \
    --arguments "remove /machine /quiet /log $(machine_log PC-INUSE)" 'C:\stravik\stravikc.exe' \
    expect-exit 3010 >"$OUT" 2>&1 || true
check "PC-INUSE's removal waits for a restart" grep -qx PASS <(tr -d '\r' <"$OUT")

become PC-NODRIVE
seed_pc
rm "$WINEPREFIX/dosdevices/h:"
stravikc 76 remove /quiet /log "$(machine_log PC-NODRIVE)"

become PC-HELD
seed_pc
WINEDEBUG=+eventlog wine_run 'C:\stravik\driver.exe' --hold 'H:\Halvoran\template\b.dot' \
    --arguments "remove /user /drive H /quiet /log $(user_log PC-HELD)" 'C:\stravik\stravikc.exe' \
    expect-exit 70 >"$OUT" 2>&1 || true
check "PC-HELD's removal stops at the held file" grep -qx PASS <(tr -d '\r' <"$OUT")
check "and its event names it" grep -qF \
    'ReportEventW L"Stravik remove /user: exit code 70, Error # 70: Permission denied. at H:\\Halvoran\\template\\b.dot"' \
    "$OUT"

# Killed while it empties a large folder: a start with no end.
become PC-KILLED
seed_template_folder
(cd "$TEMPLATE_DIR" && seq -f 'file%05g.dot' 1 20000 | xargs touch)
wine_run 'C:\stravik\stravikc.exe' remove /user /drive H /quiet /log "$(user_log PC-KILLED)" \
    >/dev/null 2>&1 </dev/null &
killed=$!
for _ in $(seq 600); do
    grep -qs 'removed: ' "$LOGS/users/PC-KILLED-$USER_NAME.log" && break
    sleep 0.1
done
kill -KILL "$killed"
wait "$killed" 2>/dev/null || true

# The file server empties every home folder after those runs: the Wine
# user's (the same folder the logon scripts of PC-HELD and PC-KILLED left
# unfinished), one without templates, one whose Halvoran is a link, and
# Windows' own hidden and system folder.
become FILESERVER
HOMES=$E2E_WORK/homes
mkdir -p "$WINEPREFIX/dosdevices/unc/fileserver" "$LOGS/homes" "$HOMES/$USER_NAME/Halvoran/template" \
    "$HOMES/bert/Halvoran/template" "$HOMES/dora" "$HOMES/System Volume Information" "$E2E_WORK/server"
ln -s "$HOMES" "$WINEPREFIX/dosdevices/unc/fileserver/homes"
touch "$HOMES/$USER_NAME/Halvoran/template/Normal.dotx" "$E2E_WORK/server/payroll.xlsx"
ln -s "$E2E_WORK/server" "$HOMES/dora/Halvoran"
python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", b"0x16")' \
    "$HOMES/System Volume Information"
# Records tell time to the second: the sweep starts in a second of its own.
sleep 1
stravikc 75 remove /homes '\\fileserver\homes' /quiet /log 'C:\share\logs\homes\FILESERVER.log'
check "the server's file behind dora's link survives" [ -f "$E2E_WORK/server/payroll.xlsx" ]

# A user's own log, written by that user: a record forged to speak for
# another computer, with markup and a formula in its names.
forged='2026-12-09T11:00:00Z <svg/onload=alert(1)>[66]'
printf '%s\r\n' \
    "$forged start 2026-12-09T11:00:00Z, version 1.00, format 1, command remove, scope user, user $USER_NAME, elevated no, command line: x" \
    "$forged Error # 70: =1+2" \
    "$forged failed: <script>alert(1)</script>" \
    "$forged end 2026-12-09T11:00:01Z, exit code 70" >>"$LOGS/users/PC-CLEAN-$USER_NAME.log"
printf 'MZ\0\0\220binary' >"$LOGS/users/PC-CLEAN-tool.bin"
# A later run of PC-INUSE whose end is still being written, and a log that
# another program holds open without sharing while the report runs.
later=$(date -u -d '+1 hour' +%Y-%m-%dT%H:%M:%SZ)
printf '%s\r\n%s' \
    "$later PC-INUSE[77] start $later, version 1.00, format 1, command remove, scope machine, user SYSTEM, elevated yes, command line: x" \
    "$later PC-INUSE[77] end $later, exit code 74" >>"$LOGS/computers/PC-INUSE.log"
cp "$LOGS/users/PC-HELD-$USER_NAME.log" "$LOGS/users/PC-LOCKED-$USER_NAME.log"
# The directory's export, as Windows PowerShell 5.1 writes it with ">".
printf 'PC-CLEAN$\r\npc-inuse.corp.example\r\nPC-NODRIVE\r\nPC-HELD\r\nPC-KILLED\r\nPC-NEVER\r\n' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } >"$SHARE/computers.txt"

echo "--- the report, trusting each log by its place"
wine_run 'C:\stravik\driver.exe' --hold "C:\\share\\logs\\users\\PC-LOCKED-$USER_NAME.log" \
    --arguments 'report C:\share\logs /csv C:\share\report.csv /html C:\share\report.html /computers C:\share\computers.txt /trustnames' \
    'C:\stravik\stravikc.exe' expect-exit 1 >"$OUT" 2>&1 || true
sed 's/^/    /' "$OUT"
check "the report exits 1" grep -qx PASS <(tr -d '\r' <"$OUT")
said() { check "it said: $1" grep -qF -- "$1" <(tr -d '\r' <"$OUT"); }
said '6 computers (1 clean), 3 home folders (2 clean)'
said '1 other files skipped'
said '1 lines still being written; logs trusted by their folder and name alone, not their owners (/trustnames)'
said 'closed by sweep: 2'
said 'mismatched: 1'
said 'never reported: 3'
held_log_unreadable() { grep -qE "^  log  unreadable, .+ \(logs.users.PC-LOCKED-$USER_NAME.log\)" <(tr -d '\r' <"$OUT"); }
check "a log held without sharing is unreadable, in the system's words" held_log_unreadable
csv=$SHARE/report.csv
state_of() { grep -F "\"$1\",\"$2\",\"$3\"," "$csv" | cut -d, -f9; }
check "CSV has a byte-order mark" [ "$(head -c 3 "$csv" | od -An -tx1 | tr -d ' ')" = efbbbf ]
for expected in "PC-CLEAN machine - clean" "PC-CLEAN user $USER_NAME clean" \
    "PC-INUSE machine - interrupted" "PC-NODRIVE machine - drive not reachable" \
    "PC-HELD user $USER_NAME closed by sweep" "PC-HELD machine - never reported" \
    "PC-KILLED user $USER_NAME closed by sweep" "PC-KILLED machine - never reported" \
    "PC-NEVER machine - never reported" "<svg/onload=alert(1)> mismatch $USER_NAME mismatched"; do
    read -r computer part user state <<<"$expected"
    [ "$user" != - ] || user=
    check "CSV: $computer $part $user is $state" [ "$(state_of "$computer" "$part" "$user")" = "\"$state\"" ]
done
# The homes folder's own row (no name), then each home folder's.
for expected in "- clean" "$USER_NAME clean" "bert clean" "dora link refused"; do
    read -r user state <<<"$expected"
    [ "$user" != - ] || user=
    check "CSV: the sweep's home folder '$user' is $state" \
        [ "$(state_of "\\\\fileserver\\homes\\" home "$user")" = "\"$state\"" ]
done
no_row_for_windows_folder() { ! grep -qF "System Volume Information" "$csv"; }
check "CSV: no row for Windows' own folder" no_row_for_windows_folder
said '  \\fileserver\homes\  home dora  link refused, exit code 75, Error # 75: Path/File access error: \\fileserver\homes\dora\Halvoran is a link to another folder'
closed_by() { grep -qE "^\"PC-HELD\",\"user\",.*\"emptied by the sweep of [\\]{2}fileserver[\\]homes[\\]$USER_NAME at [0-9T:-]+Z; its own last run: permission denied or in use\"" "$csv"; }
check "CSV: PC-HELD's user row names the sweep that closed it" closed_by
check "CSV: the held file is named" grep -qF '"H:\Halvoran\template\b.dot"' "$csv"
check "CSV: PC-CLEAN's machine part counts its 30 removals" \
    grep -qE '^"PC-CLEAN","machine",.*,"30","4","0","0","0","0","1",' "$csv"
check "CSV: a formula from a log is text" grep -qF "\"'=1+2\"" "$csv"

echo "--- the report, trusting each log by its owner"
cp "$LOGS/users/PC-HELD-$USER_NAME.log" "$LOGS/users/PC-HELD-daemon.log"
chown daemon "$LOGS/users/PC-HELD-daemon.log"
stravikc 1 report 'C:\share\logs'
sed 's/^/    /' "$OUT"
owned_by_wine_user() { grep -qE "^  log  log name taken, owned by [^ ]+\\\\$USER_NAME \(logs\\\\computers\\\\PC-CLEAN.log\)" <(tr -d '\r' <"$OUT"); }
check "a machine's log written by the Wine user is not its computer's" owned_by_wine_user
said 'owned by NT AUTHORITY\ANONYMOUS LOGON (logs\users\PC-HELD-daemon.log)'
said "  PC-HELD  user $USER_NAME  permission denied or in use"
owned_sweep() { grep -qE "^  log  log name taken, owned by [^ ]+\\\\$USER_NAME \(logs\\\\homes\\\\FILESERVER.log\)" <(tr -d '\r' <"$OUT"); }
check "a sweep's log written by the Wine user speaks for no home folder" owned_sweep
said "  PC-KILLED  user $USER_NAME  interrupted"

echo "--- the page in a browser"
page=$SHARE/report.html
dom=$E2E_WORK/dom.html
chromium --headless --no-sandbox --disable-gpu --dump-dom "file://$page" >"$dom" 2>/dev/null
check "the page shows the counts" grep -qF 'data-state="clean">5</text>' "$dom"
check "and that logs were trusted by their place" grep -qF '(/trustnames)' "$dom"
check "the forged names are text" grep -qF '&lt;svg/onload=alert(1)&gt;' "$dom"
no_element_of_theirs() { ! grep -qiE '<(svg/onload|script>alert)' "$1"; }
check "and make no element" no_element_of_theirs "$dom"
if [ -n "${STRAVIK_REPORT_PICTURE:-}" ]; then
    chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1280,560 \
        --screenshot="$STRAVIK_REPORT_PICTURE" "file://$page" >/dev/null 2>&1
fi

echo "--- the report's own bad input"
mkdir -p "$SHARE/empty"
stravikc 1 report 'C:\share\empty'
said '0 runs read from 0 logs'
stravikc 76 report 'C:\share\missing'
said 'Error # 76: Path not found.'
stravikc 53 report 'C:\share\empty' /computers 'C:\share\none.txt'
said 'Error # 53: File not found.'
stravikc 70 report 'C:\share\empty' /computers 'C:\share\empty'
stravikc 70 report 'C:\share\empty' /csv 'C:\share\empty'
said 'Error # 70: Permission denied.'
stravikc 87 report

finish
