# shellcheck disable=SC2034  # the variables are for the scripts that source this
# A Halvoran installation in a Wine prefix: the Wine harness (wine-env.sh)
# and the helpers that seed the installation into the prefix it makes.
# Its registry entries come from the table in scripts/installation.tsv.

# shellcheck source=wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
# shellcheck source=installation.sh
source "$(dirname "${BASH_SOURCE[0]}")/installation.sh"

# The identifiers of the removed control.
CLSID='{AE2426ED-27E8-43EA-A844-3621CB40BE0F}'
OCX=QuorwenDocumentAutomation.OCX
# Wine's Windows directory as GetWindowsDirectory reports it.
WINDIR='C:\windows'

# Imports REGEDIT4 key and value lines, read from standard input, into the
# program's (32-bit) view.
wine_seed_registry() {
    local file="$WINEPREFIX/seed.reg"
    {
        echo REGEDIT4
        echo
        cat
    } >"$file"
    wine_import_reg "$file"
}

# Every entry that the clean-up removes, with what an installation keeps in
# them: the component registration, the download record, the module-usage
# records and the shared-library reference counts of the control and its
# ten conflict copies.
wine_seed_control_registration() {
    installation_registry reg target,inside "$WINDIR" | wine_seed_registry
}

# Entries beside the removed ones that must survive the clean-up.
wine_seed_neighbours() {
    installation_registry reg neighbour "$WINDIR" | wine_seed_registry
}

# The family's files: the template folder on drive H: and the control and
# the two template files in the Windows directory.
# $1 is the Unix folder that becomes drive H:; the rest are file names.
wine_seed_template_folder() {
    local drive=$1 name
    shift
    wine_map_drive h "$drive"
    mkdir -p "$drive/Halvoran/template"
    for name in "$@"; do
        echo "$name" >"$drive/Halvoran/template/$name"
    done
}

wine_seed_windows_files() {
    local windows=$WINEPREFIX/drive_c/windows
    mkdir -p "$windows/Downloaded Program Files"
    echo control >"$windows/Downloaded Program Files/$OCX"
    echo template >"$windows/Halvoran.dotm"
    echo template >"$windows/Halvoran.dot"
}
