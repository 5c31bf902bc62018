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

# Runs stravikc ($CONSOLE, the 64-bit build unless set) with the arguments
# after the expected exit code, its output in $OUT; a Unix shell sees the
# code modulo 256, which tells these apart.
CONSOLE='C:\stravik\stravikc.exe'
console() {
    local expected=$1 status=0
    shift
    wine_run "$CONSOLE" "$@" >"$OUT" 2>&1 </dev/null || status=$?
    check "stravikc $* exits $expected (got $status modulo 256)" [ "$status" -eq $((expected % 256)) ]
}
said() { check "it said: $1" grep -qxF -- "$1" <(tr -d '\r' <"$OUT"); }

# A record's lines: run start, computer[process], then one of the texts a
# run writes. Any other line in a log is a torn one.
record_line='^[0-9-]{10}T[0-9:]{8}Z [^ ]+\[[0-9]+\] (start .*, version 1\.00, format 1, |template folder: |removed: |present: |cannot be reached: |deleted at the next restart: |left: |log: |Finished |Error #[ -]|failed: |summary: |homes folder: |home [a-z]+( -?[0-9]+)?(, backup privileges)?: |homes summary: |backup privileges: |end )'
whole_lines() { ! grep -qvE "$record_line" "$@"; }

# The run's event as Wine's trace (+eventlog) shows the call: its type,
# its ID, and a user's SID passed with it (Wine prints only its address).
event_traced() {
    grep -qE "ReportEventW \([0-9A-Fa-f]+,$1,0x0000,$2,0*[1-9A-Fa-f][0-9A-Fa-f]*,0x0001," "$OUT"
}
event_source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Stravik'
event_source() { wine_run reg query "$event_source_key" 2>/dev/null | tr -d '\r'; }
no_event_source() { ! wine_run reg query "$event_source_key" >/dev/null 2>&1; }

seed_everything() {
    wine_seed_control_registration
    wine_seed_windows_files
    seed_template_folder Normal.dotx 'Résumé.dot' "$(printf 'L%.0s' {1..251}).dot"
}
wine_seed_neighbours
seed_everything
mkdir -p "$TEMPLATE_DIR/Archive"
echo kept >"$TEMPLATE_DIR/Archive/Old.dotx"

echo "--- check, remove, and remove again as a tool retrying its package"
WINEDEBUG=+eventlog console 1 check
check "check's event: information, ID 101, with its user" event_traced 0x0004 0x00000065
check "check registers no event source" no_event_source
said 'template folder: H:\Halvoran\template\ (drive from the registration)'
said 'present: H:\Halvoran\template\Résumé.dot'
said 'present: C:\windows\Halvoran.dot'
said "present: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\ value C:\\windows\\Downloaded Program Files\\CONFLICT.10\\$OCX"
check "each of the 37 targets on its line" [ "$(grep -c '^present: ' "$OUT")" -eq 37 ]
WINEDEBUG=+eventlog console 0 remove --Log 'C:\logs\run.log'
check "remove's event: information, ID 100, with its user" event_traced 0x0004 0x00000064
said 'removed: H:\Halvoran\template\Résumé.dot'
said 'Finished removing Halvoran OCX files!'
check "no file left in the template folder" [ -z "$(find "$TEMPLATE_DIR" -maxdepth 1 -type f)" ]
expect_file present "$TEMPLATE_DIR/Archive/Old.dotx"
expect_windows_files absent
snapshot_registry
expect_registry absent < <(control_registration_entries)
expect_registry present < <(neighbour_entries)
check "the log is UTF-8 and names the run" grep -qF 'removed: H:\Halvoran\template\Résumé.dot' "$LOGS/run.log"
check "the log's lines are whole, its start names version and format" whole_lines "$LOGS/run.log"
check "the log ends with the exit code" grep -qE 'end .*, exit code 0.$' "$LOGS/run.log"
# The control's class key, and with it the recorded drive, is gone: the
# template folder is looked for on the Windows directory's drive, where
# there is none, and that is said.
console 0 remove
said 'template folder: C:\Halvoran\template\ (drive from the Windows directory)'
said "not there: C:\\Halvoran\\template\\"
console 0 check
console 0 check /drive h:

echo "--- H: not mapped, as for SYSTEM"
seed_everything
rm "$WINEPREFIX/dosdevices/h:"
console 76 remove
said 'Error # 76: Path not found.'
expect_windows_files present
snapshot_registry
expect_registry present < <(control_registration_entries)
console 1 check
said "cannot be reached: H:\\Halvoran\\template\\"
console 76 remove /user /drive H
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
console 87 remove /machine /drive H
console 1622 remove /log 'C:\missing\run.log'
console 0 /?
said '  3010  removed; a file in use is deleted at the next restart'
expect_windows_files present
# Three runs appending to one log at once: each line is appended under the
# log's lock, so every line is whole, though Wine does not append
# atomically, and all three records end.
seed_everything
runs=()
for run in 1 2 3; do
    wine_run 'C:\stravik\stravikc.exe' check /quiet /log 'C:\logs\shared.log' \
        >"$E2E_WORK/quiet$run.txt" 2>&1 </dev/null &
    runs+=($!)
done
wait "${runs[@]}" || true
check "/quiet prints nothing" [ "$(cat "$E2E_WORK"/quiet?.txt | wc -c)" -eq 0 ]
check "three runs' lines, all whole" whole_lines "$LOGS/shared.log"
check "three records of 41 lines" [ "$(wc -l <"$LOGS/shared.log")" -eq 123 ]
check "three runs ended" [ "$(grep -c 'exit code 1.$' "$LOGS/shared.log")" -eq 3 ]
# A log name that someone else took first and holds: the removal runs and
# its record goes to a new file beside it.
echo squatter >"$LOGS/squatted.log"
wine_run 'C:\stravik\driver.exe' --hold 'C:\logs\squatted.log' \
    --arguments 'remove /user /drive H /log C:\logs\squatted.log' 'C:\stravik\stravikc.exe' \
    expect-exit 0 >"$OUT" 2>&1
said 'PASS'
check "no file left in the template folder" [ -z "$(find "$TEMPLATE_DIR" -maxdepth 1 -type f)" ]
check "the squatted log is as it was" [ "$(cat "$LOGS/squatted.log")" = squatter ]
beside=$(find "$LOGS" -name 'squatted-*T*Z-*.log')
check "the record is in a new file beside it" [ -n "$beside" ]
check "which says why and ends the run" \
    grep -qF 'log: cannot open C:\logs\squatted.log (Error # 70: Permission denied.)' "$beside"
check "and ends the run" grep -qE 'end .*, exit code 0.$' "$beside"

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

echo "--- a sweep over a file server's home folders, and one of them by /root"
# \\fileserver\homes as Wine finds a share: dosdevices/unc/<server>/<share>.
# Every home folder is its user's: links planted at the home folder, at
# Halvoran or at template lead to the server's own files, one user holds a
# template open, and one home folder is swapped for a link while the sweep
# empties it. Each costs its own folder alone; the others are emptied.
HOMES=$E2E_WORK/homes
SERVER=$E2E_WORK/server
mkdir -p "$WINEPREFIX/dosdevices/unc/fileserver" "$SERVER/Halvoran/template"
ln -s "$HOMES" "$WINEPREFIX/dosdevices/unc/fileserver/homes"
for name in Letter.dotx Normal.dotx payroll.xlsx; do
    echo server >"$SERVER/Halvoran/template/$name"
done
home_templates() {
    local home=$HOMES/$1 name
    shift
    mkdir -p "$home/Halvoran/template"
    for name in "$@"; do echo template >"$home/Halvoran/template/$name"; done
}
home_templates anna Letter.dotx Normal.dotx
home_templates bert
mkdir -p "$HOMES/carl/Documents" "$HOMES/dora" "$HOMES/emil/Halvoran"
ln -s "$SERVER" "$HOMES/dora/Halvoran"
ln -s "$SERVER/Halvoran/template" "$HOMES/emil/Halvoran/template"
home_templates fred Held.dotx Letter.dotx
long_name="$(printf 'L%.0s' {1..245}).dotx"
home_templates gina "$long_name" ReadOnly.dotx
chmod a-w "$HOMES/gina/Halvoran/template/ReadOnly.dotx"
COUNT=1500
mkdir -p "$HOMES/hugo/Halvoran/template" "$E2E_WORK/hugo-server/Halvoran/template"
for ((i = 0; i < COUNT; i++)); do
    name=$(printf 'file%04d.dot' "$i")
    echo template >"$HOMES/hugo/Halvoran/template/$name"
    echo server >"$E2E_WORK/hugo-server/Halvoran/template/$name"
done
home_templates ida Normal.dotx
home_templates 'System Volume Information' tracking.log
# Hidden and system, as Wine keeps DOS attributes on a Unix file system.
python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", b"0x16")' \
    "$HOMES/System Volume Information"

console 1 check /root '\\fileserver\homes\anna"'
said 'template folder: \\fileserver\homes\anna\Halvoran\template\ (from /root)'
said 'present: \\fileserver\homes\anna\Halvoran\template\Letter.dotx'
console 75 check /user /ROOT '\\fileserver\homes\dora'
console 0 check /root "\\\\fileserver\\homes\\carl\\"
for wrong in 'homes' '' '\\fileserver\homes\*' 'C:'; do console 87 check /root "$wrong"; done
console 87 remove /root "C:\\" /drive H
console 87 remove /root "C:\\" /homes "C:\\"
console 87 remove /homes '\\fileserver\homes' /machine

swap_for_link_when_emptying "$HOMES/hugo/Halvoran/template" "$COUNT" "$HOMES/hugo" \
    "$E2E_WORK/hugo-server" >"$E2E_WORK/swap.log" 2>&1 &
swapper=$!
wine_run 'C:\stravik\driver.exe' --hold '\\fileserver\homes\fred\Halvoran\template\Held.dotx' \
    --arguments 'remove /homes \\fileserver\homes /log C:\logs\homes.log' 'C:\stravik\stravikc.exe' \
    expect-exit 75 >"$OUT" 2>&1
said 'PASS'
if wait "$swapper"; then pass "$(cat "$E2E_WORK/swap.log")"; else fail "$(cat "$E2E_WORK/swap.log")"; fi
record=$LOGS/homes.log
tr -d '\r' <"$LOGS/homes.log" | grep -vE '\] (removed: |home )' | sed 's/^/    /'
in_record() { check "the record says: $1" grep -qE -- "\] $1\$" <(tr -d '\r' <"$record"); }
in_record 'start .*, command remove, scope home, .*'
in_record 'homes folder: [\]{2}fileserver[\]homes[\]'
for fate in 'emptied: .*\\anna' 'clean: .*\\bert' 'clean: .*\\carl' 'failed 75: .*\\dora' \
    'failed 75: .*\\emil' 'failed 70: .*\\fred' 'emptied: .*\\gina' 'failed 75: .*\\hugo' \
    'emptied: .*\\ida' 'skipped: .*\\System Volume Information'; do
    in_record "home $fate"
done
in_record 'Error # 75: Path/File access error: \\\\fileserver\\homes\\dora\\Halvoran is a link to another folder\.'
in_record 'Error # 70: Permission denied\.'
in_record 'homes summary: emptied 3, clean 2, present 0, skipped 1, failed 4'
in_record 'end .*, exit code 75'
check "the record's lines are whole" whole_lines "$record"
for home in anna gina ida; do
    check "$home's template folder is empty" [ -z "$(find "$HOMES/$home/Halvoran/template" -type f)" ]
done
expect_file present "$HOMES/fred/Halvoran/template/Held.dotx"
expect_file present "$HOMES/carl/Documents"
expect_file present "$HOMES/System Volume Information/Halvoran/template/tracking.log"
check "the server's files all survive" [ "$(find "$SERVER" -type f | wc -l)" -eq 3 ]
survivors=$(find "$E2E_WORK/hugo-server" -type f | wc -l)
check "$survivors of $COUNT files behind the swapped home folder survive" \
    [ "$survivors" -ge $((COUNT - 1)) ]
for link in dora/Halvoran emil/Halvoran/template hugo; do
    check "the planted link $link is left as it was" [ -L "$HOMES/$link" ]
done
# Run again: the folders refused are refused again; fred's template, no
# longer held, goes now.
console 75 remove /quiet /homes "\\\\fileserver\\homes\\"
expect_file absent "$HOMES/fred/Halvoran/template/Held.dotx"
console 75 check /homes '\\fileserver\homes'
said 'home clean: \\fileserver\homes\fred'
said 'home failed 75: \\fileserver\homes\hugo'

echo "--- Group Policy: start-up, then logon, twice over, with the 32-bit product"
# As Windows runs them: cmd runs each script from the share, the start-up
# script as the computer at boot, the logon script at the user's logon
# after it. The share, its log folders and the scripts' settings are made
# as an administrator makes them: the first round from the scripts' own
# text, the second from the policy's script parameters, which name a
# second share. gpo.cmd reads a script's whole exit code. Every run has a
# hostile STRAVIK_SHARE and STRAVIK_DRIVE in its environment, as a user can
# set in HKCU\Environment, naming a share with a program of its own: that
# program must never run.
export WINE_REG_VIEW=32
CONSOLE='C:\share\stravikc.exe'
# The event source, gone as the README removes it; the start-up script's
# elevated remove registers it again.
wine_run reg delete "$event_source_key" /f >/dev/null 2>&1
check "the README's reg delete removes the event source" no_event_source
SHARE=$WINEPREFIX/drive_c/share
SHARE2=$WINEPREFIX/drive_c/share2
HOSTILE=$WINEPREFIX/drive_c/hostile
for share in "$SHARE" "$SHARE2" "$HOSTILE"; do
    mkdir -p "$share/logs/computers" "$share/logs/users"
    cp "$STRAVIK_CONSOLE" "$share/stravikc.exe"
done
for script in startup logon; do
    sed -e 's/\\\\server\\share\\stravik/C:\\share/' -e 's/"STRAVIK_DRIVE="/"STRAVIK_DRIVE=H:"/' \
        "$E2E_HERE/../../deploy/$script.cmd" >"$SHARE/$script.cmd"
done
printf '@echo off\r\ncmd /c C:\\share\\%%1.cmd %%2 %%3\r\necho exit code %%ERRORLEVEL%%\r\n' \
    >"$WINEPREFIX/drive_c/gpo.cmd"
gpo() {
    local script=$1 expected=$2
    shift 2
    STRAVIK_SHARE='C:\hostile' STRAVIK_DRIVE=Q \
        wine_run cmd /c 'C:\gpo.cmd' "$script" "$@" >"$OUT" 2>&1 </dev/null || true
    check "$script.cmd $* exits $expected" grep -qx "exit code $expected" <(tr -d '\r' <"$OUT")
}
wine_seed_control_registration
wine_seed_windows_files
seed_template_folder Normal.dotx 'Résumé.dot'
gpo startup 0
check "the start-up script registered the event source with Windows' message file" \
    grep -qxE ' +EventMessageFile +REG_EXPAND_SZ +%SystemRoot%\\System32\\EventCreate\.exe' <(event_source)
check "for errors, warnings and information" grep -qxE ' +TypesSupported +REG_DWORD +0x7' <(event_source)
gpo logon 0
gpo startup 0 'C:\share2'
gpo logon 0 'C:\share2' H
expect_windows_files absent
check "no file left in the template folder" [ -z "$(find "$TEMPLATE_DIR" -maxdepth 1 -type f)" ]
snapshot_registry
expect_registry absent < <(control_registration_entries)
console 0 check /drive H:
check "the environment's share ran nothing" [ -z "$(find "$HOSTILE/logs" -type f)" ]
for share in "$SHARE" "$SHARE2"; do
    computer_log=$(find "$share/logs/computers" -name '*.log')
    user_log=$(find "$share/logs/users" -name '*-*.log')
    check "${share##*/}: one log per computer and one per computer and user" \
        [ "$(echo "$computer_log" | wc -l)" -eq 1 ] && [ "$(echo "$user_log" | wc -l)" -eq 1 ]
    check "${share##*/}: every line whole, every start versioned" whole_lines "$computer_log" "$user_log"
    check "${share##*/}: one run in each log" [ "$(cat "$computer_log" "$user_log" | grep -c ', exit code 0.$')" -eq 2 ]
done
check "the parameters' drive was used" grep -qF 'remove /user /drive "H" ' "$user_log"
# A clean PC's start-up record: its start, the finished message, the
# summary and its end.
clean_record=$(tac "$computer_log" | sed -n '1,/\] start /p' | tac)
check "a clean start-up's record is four lines" [ "$(wc -l <<<"$clean_record")" -eq 4 ]
echo "note: a clean start-up's record is $(wc -c <<<"$clean_record") bytes"

echo "--- Group Policy: settings missing, program unreachable"
lines_before=$(cat "$SHARE"/logs/*/*.log | wc -l)
sed -i 's/"STRAVIK_DRIVE=H:"/"STRAVIK_DRIVE="/' "$SHARE/logon.cmd"
gpo logon 2
mv "$SHARE/stravikc.exe" "$SHARE/stravikc.moved"
gpo startup 2
check "nothing ran" [ "$(cat "$SHARE"/logs/*/*.log | wc -l)" -eq "$lines_before" ]

finish
