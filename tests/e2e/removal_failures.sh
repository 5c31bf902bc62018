# Remove stops at its first failure with one message and changes nothing
# after it: a missing template folder, and a file that another process
# holds open without sharing.
source "$(dirname "$0")/scenario.sh"

wine_seed_control_registration
wine_seed_windows_files
wine_map_drive h "$E2E_WORK/drive_h"
mkdir -p "$E2E_WORK/drive_h/Halvoran"

drive "a missing template folder gives one path-not-found message" \
    expect-window click-remove expect-message "Error # 76: Path not found." \
    click-exit expect-exit 0
expect_windows_files present
snapshot_registry
expect_registry present < <(control_registration_entries)

# The driver lists the folder in the order the program will see it, then
# holds one file open; the files before it go, it and the rest stay. The
# window is closed by its title bar, which must not remove anything either.
seed_template_folder a.dotx b.dotx c.dotx d.dotx e.dotx
# The number Windows' component gives for it, under Wine too.
drive "a file held open stops the removal with one message" \
    list-files 'H:\Halvoran\template' hold 'H:\Halvoran\template\c.dotx' expect-window \
    click-remove expect-message "Error # 70: Permission denied." close expect-exit 0
check "one message only" [ "$(messages_shown)" -eq 1 ]
expect_file present "$TEMPLATE_DIR/c.dotx"
expect_stopped_at "$TEMPLATE_DIR" c.dotx
expect_windows_files present
snapshot_registry
expect_registry present < <(control_registration_entries)

finish
