# The file-system component cannot be created: its registration is gone.
# The failure is reported, the window still opens, and Remove then fails at
# its first file operation without touching anything.
source "$(dirname "$0")/scenario.sh"

wine_seed_control_registration
seed_template_folder a.dotx
wine_seed_windows_files
# Wine keeps programmatic identifiers in the registry's shared part and the
# 32-bit class registrations in the 32-bit view.
wine_run reg delete 'HKLM\SOFTWARE\Classes\Scripting.FileSystemObject' /f >/dev/null 2>&1
wine_run reg delete 'HKLM\SOFTWARE\Classes\CLSID\{0D43FE01-F093-11CF-8940-00A0C9054228}' /f \
    /reg:32 >/dev/null 2>&1

drive "the start-up failure is reported and the window opens; Remove fails cleanly" \
    expect-message "Error # 429: ActiveX component can't create object." expect-window \
    click-remove expect-message "Error # 91: Object variable or With block variable not set." \
    click-exit expect-exit 0
expect_file present "$TEMPLATE_DIR/a.dotx"
expect_windows_files present
snapshot_registry
expect_registry present < <(control_registration_entries)

finish
