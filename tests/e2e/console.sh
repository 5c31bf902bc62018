#!/usr/bin/env bash
# stravikc.exe as deployment tools run it: check, remove by scope, a control
# held open by another program, wrong command lines, logs. Its logic is the
# window's, tested there; this checks what the console program adds. Most
# runs use its 64-bit build, which Wine runs natively even where 32-bit
# code is emulated (and so the program's 64-bit registry view); the
# 32-bit product runs the Group Policy start-up script at the end.
# shellcheck disable=SC1091 # sourced from beside this script
source "$(dirname "$0")/scenario.sh"
: "${STRAVIK_CONSOLE:?the 32-bit stravikc.exe is not set}"
: "${STRAVIK_CONSOLE64:?the 64-bit stravikc.exe is not set}"
[ -f "$STRAVIK_CONSOLE64" ] || wine_fail "no $STRAVIK_CONSOLE64: build the win64 preset first"

export WINE_REG_VIEW=64
cp "$STRAVIK_CONSOLE64" "$WINEPREFIX/drive_c/stravik/stravikc.exe"
cp "$E2E_DRIVER" "$WINEPREFIX/drive_c/stravik/driver.exe"
LOGS=$WINEPREFIX/drive_c/logs
mkdir -p "$LOGS"
OUT=$E2E_WORK/out.txt

# Runs stravikc with the arguments after the expected exit code, its output
# in $OUT; a Unix shell sees the code modulo 256, which tells these apart.
console() {
    local expected=$1 status=0
    shift
    wine_run 'C:\stravik\stravikc.exe' "$@" >"$OUT" 2>&1 </dev/null || status=$?
    check "stravikc $* exits $expected (got $status)" [ "$status" -eq "$expected" ]
}
said() { check "it said: $1" grep -qxF -- "$1" <(tr -d '\r' <"$OUT"); }

seed_everything() {
    wine_seed_control_registration
    wine_seed_windows_files
    seed_template_folder Normal.dotx 'Résumé.dot' "$(printf 'L%.0s' {1..251}).dot"
}
wine_seed_neighbours
seed_everything
mkdir -p "$TEMPLATE_DIR/Archive"
echo kept >"$TEMPLATE_DIR/Archive/Old.dotx"

echo "--- check, remove, check"
console 1 check
said 'present: H:\Halvoran\template\Résumé.dot'
said 'present: C:\windows\Halvoran.dot'
said "present: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\ value C:\\windows\\Downloaded Program Files\\CONFLICT.10\\$OCX"
check "each of the 37 targets on its line" [ "$(grep -c '^present: ' "$OUT")" -eq 37 ]
console 0 remove --Log 'C:\logs\run.log'
said 'removed: H:\Halvoran\template\Résumé.dot'
said 'Finished removing Halvoran OCX files!'
check "no file left in the template folder" [ -z "$(find "$TEMPLATE_DIR" -maxdepth 1 -type f)" ]
expect_file present "$TEMPLATE_DIR/Archive/Old.dotx"
expect_windows_files absent
snapshot_registry
expect_registry absent < <(control_registration_entries)
expect_registry present < <(neighbour_entries)
check "the log is UTF-8 and names the run" grep -qF 'removed: H:\Halvoran\template\Résumé.dot' "$LOGS/run.log"
check "the log ends with the exit code" grep -qE 'end .*, exit code 0.$' "$LOGS/run.log"
# The control's class key (and with it the recorded drive) is gone: the
# template folder is looked for on the Windows directory's drive now.
console 0 check

echo "--- H: not mapped, as for SYSTEM"
seed_everything
rm "$WINEPREFIX/dosdevices/h:"
console 76 remove
said 'Error # 76: Path not found.'
expect_windows_files present
console 1 check
said "cannot be reached: H:\\Halvoran\\template\\"
console 0 remove /MACHINE
expect_windows_files absent
snapshot_registry
expect_registry absent < <(control_registration_entries)
expect_file present "$TEMPLATE_DIR/Normal.dotx"
console 0 check -machine

echo "--- a user's logon: the template folder alone"
seed_everything
console 0 remove /user
check "no file left in the template folder" [ -z "$(find "$TEMPLATE_DIR" -maxdepth 1 -type f)" ]
expect_windows_files present

echo "--- wrong command lines and logs"
console 87 remove /bogus
console 87 check /machine /user
console 76 remove /log 'C:\missing\run.log'
console 0 /?
said '  3010  removed; a file in use is deleted at the next restart'
expect_windows_files present
# Two runs appending to one log at once: both records, each run ended.
runs=()
for run in 1 2; do
    wine_run 'C:\stravik\stravikc.exe' check /machine /quiet /log 'C:\logs\shared.log' \
        >"$E2E_WORK/quiet$run.txt" 2>&1 </dev/null &
    runs+=($!)
done
wait "${runs[@]}" || true
check "/quiet prints nothing" [ "$(cat "$E2E_WORK/quiet1.txt" "$E2E_WORK/quiet2.txt" | wc -c)" -eq 0 ]
# Windows appends each write whole to a file opened for appending only.
# Wine does not: two processes appending at once may overwrite a line of
# each other's now and then, so the torn lines are shown, not counted.
record_line='^[0-9-]{10}T[0-9:]{8}Z [^ ]+\[[0-9]+\] (start|end|present|not there|cannot)'
echo "note: $(grep -cE "$record_line" "$LOGS/shared.log") of 72 lines whole under Wine"
grep -vE "$record_line" "$LOGS/shared.log" | sed 's/^/    torn: /' || true
check "both runs ended" [ "$(grep -c 'exit code 1.$' "$LOGS/shared.log")" -eq 2 ]

echo "--- the control in use"
# The driver holds the control open without sharing, starts stravikc and
# reads its whole exit code; Wine deletes the file when the prefix restarts.
wine_seed_control_registration
wine_run 'C:\stravik\driver.exe' --hold "C:\\windows\\Downloaded Program Files\\$OCX" \
    --arguments 'remove /machine' 'C:\stravik\stravikc.exe' expect-exit 3010 >"$OUT" 2>&1
said 'PASS'
said "deleted at the next restart: C:\\windows\\Downloaded Program Files\\$OCX"
expect_file absent "$WINDOWS_DIR/Halvoran.dot"
snapshot_registry
expect_registry absent < <(control_registration_entries)
expect_file present "$DOWNLOAD_DIR/$OCX"
wine_run wineboot -r >/dev/null 2>&1
wine_settle
expect_file absent "$DOWNLOAD_DIR/$OCX"

echo "--- the Group Policy start-up script, with the 32-bit product"
# As Windows runs it: cmd runs the script, which runs stravikc from the
# share. A wrapper reads the script's whole exit code.
export WINE_REG_VIEW=32
SHARE=$WINEPREFIX/drive_c/share
mkdir -p "$SHARE"
cp "$STRAVIK_CONSOLE" "$SHARE/stravikc.exe"
cp "$E2E_HERE/../../deploy/startup.cmd" "$SHARE/startup.cmd"
printf '@echo off\r\nset STRAVIK_SHARE=C:\\share\r\ncmd /c C:\\share\\startup.cmd\r\necho exit code %%ERRORLEVEL%%\r\n' \
    >"$WINEPREFIX/drive_c/gpo.cmd"
wine_seed_control_registration
wine_seed_windows_files
wine_run cmd /c 'C:\gpo.cmd' >"$OUT" 2>&1 </dev/null || true
said 'exit code 0'
expect_windows_files absent
snapshot_registry
expect_registry absent < <(control_registration_entries)
check "the computer's log on the share" grep -qE 'end .*, exit code 0.$' "$SHARE"/logs/*.log

finish
