#!/usr/bin/env bash
# Links planted by another user on the way to the template folder never
# turn Remove against other files. With no DriveLocation value the
# templates are looked for on C:, where any user may make folders:
# C:\Halvoran\template is a link to a folder of someone else's files, and
# Remove refuses it with one message and changes nothing. Then, in the
# same run, a real template folder holding a link to a file outside takes
# its place: Remove stops at the link, and what it leads to stays.
# shellcheck disable=SC1091 # sourced from beside this script
source "$(dirname "$0")/scenario.sh"

wine_seed_control_registration
wine_run reg delete "HKLM\\SOFTWARE\\Classes\\CLSID\\$CLSID\\DriveLocation" /f /reg:32 \
    >/dev/null 2>&1 || wine_fail "cannot delete the DriveLocation key"
wine_seed_windows_files

DRIVE_C=$WINEPREFIX/drive_c
VICTIM=$E2E_WORK/victim
mkdir -p "$VICTIM" "$DRIVE_C/Halvoran"
for name in Kernel.dll Setup.ini Notes.txt; do echo "$name" >"$VICTIM/$name"; done
chmod a-w "$VICTIM/Setup.ini"
ln -s "$VICTIM" "$DRIVE_C/Halvoran/template"

# The folder that takes the planted one's place later: real files around a
# link to a file outside.
OUTSIDE=$E2E_WORK/outside/Shared.dotx
mkdir -p "$(dirname "$OUTSIDE")" "$DRIVE_C/Staged/template"
echo shared >"$OUTSIDE"
for name in Agenda.dotx Zeugnis.dotx; do echo "$name" >"$DRIVE_C/Staged/template/$name"; done
ln -s "$OUTSIDE" "$DRIVE_C/Staged/template/Letterhead.dotx"

drive "a linked template folder is refused, then a linked file in a real one" \
    expect-window click-remove \
    expect-message 'Error # 75: Path/File access error: C:\Halvoran\template is a link to another folder.' \
    rename 'C:\Halvoran' 'C:\Planted' rename 'C:\Staged' 'C:\Halvoran' \
    list-files 'C:\Halvoran\template' click-remove \
    expect-message 'Error # 75: Path/File access error: C:\Halvoran\template\Letterhead.dotx is a link to another file.' \
    click-exit expect-exit 0
check "one message for each Remove" [ "$(messages_shown)" -eq 2 ]

for name in Kernel.dll Setup.ini Notes.txt; do expect_file present "$VICTIM/$name"; done
check "the planted link is left as it was" [ -L "$DRIVE_C/Planted/template" ]
expect_file present "$OUTSIDE"
check "the linked file's target is unchanged" [ "$(cat "$OUTSIDE")" = shared ]
check "the link is left where it was" [ -L "$DRIVE_C/Halvoran/template/Letterhead.dotx" ]
# Under Wine the files are listed by name: those before the link go.
expect_stopped_at "$DRIVE_C/Halvoran/template" Letterhead.dotx
expect_windows_files present
snapshot_registry
expect_registry present < <(control_registration_entries | grep -v DriveLocation)

finish
