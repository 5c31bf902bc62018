# Start-up: the window with and without a recorded install drive, and the
# two ways of ending the program without removing anything.
source "$(dirname "$0")/scenario.sh"

wine_seed_control_registration
seed_template_folder a.dotx b.dotx
wine_seed_windows_files
mkdir -p "$WINEPREFIX/drive_c/Halvoran/template"
echo c >"$WINEPREFIX/drive_c/Halvoran/template/c.dotx"

drive "the window opens with its layout, Exit ends it at once" \
    expect-window click-exit expect-exit 0
check "no message box" [ "$(messages_shown)" -eq 0 ]
snapshot_registry
expect_registry present < <(control_registration_entries)
expect_file present "$TEMPLATE_DIR/a.dotx"
expect_file present "$TEMPLATE_DIR/b.dotx"
expect_windows_files present

# Without a recorded drive the template folder is looked for on the drive
# of the Windows directory, C:, and H: is left alone.
wine_run reg delete "HKLM\\SOFTWARE\\Classes\\CLSID\\$CLSID\\DriveLocation" /f /reg:32 >/dev/null 2>&1
drive "without a recorded drive, Remove works on drive C:; the title bar closes the window" \
    expect-window click-remove expect-message "Finished removing Halvoran OCX files!" \
    close expect-exit 0
check "only the finished message" [ "$(messages_shown)" -eq 1 ]
expect_file absent "$WINEPREFIX/drive_c/Halvoran/template/c.dotx"
expect_file present "$TEMPLATE_DIR/a.dotx"
expect_file present "$TEMPLATE_DIR/b.dotx"

finish
