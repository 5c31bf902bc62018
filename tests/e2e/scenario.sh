# shellcheck disable=SC2034  # the variables are for the scenarios that source this
# Shared by the end-to-end scenarios, sourced with the paths of stravik.exe
# and the test driver as $1 and $2. Each scenario gets a fresh copy of the
# base Wine prefix, a private display when there is none, and a Halvoran
# installation seeded by the helpers below; the checks count passes and
# failures and `finish` reports them.

set -euo pipefail
E2E_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$E2E_HERE/../checks.sh"
trap 'fail "the scenario stopped at line $LINENO: $BASH_COMMAND"' ERR

E2E_STRAVIK=$(realpath "$1")
E2E_DRIVER=$(realpath "$2")
source "$E2E_HERE/../../scripts/halvoran-wine.sh"
wine_require
: "${STRAVIK_WINE_BASE:?the base Wine prefix is not set}"

wine_begin_run_with_exit_trap "$STRAVIK_WINE_BASE" e2e-run
E2E_WORK=$WINE_WORK
WINDOWS_DIR=$(wine_windows_dir)
DOWNLOAD_DIR="$WINDOWS_DIR/Downloaded Program Files"
# The program runs from C:, like an installed tool.
mkdir -p "$WINEPREFIX/drive_c/stravik"
cp "$E2E_STRAVIK" "$WINEPREFIX/drive_c/stravik/stravik.exe"
PROGRAM='C:\stravik\stravik.exe'

finish() { checks_summary; }

# Runs the driver against stravik.exe with the given steps; the driver
# checks every step and reports PASS or FAIL. Each step must finish within
# 60 s; the program's start, which can take minutes where 32-bit code is
# emulated, is bounded by the test's own time limit. Its output is kept in
# $E2E_WORK/driver.log for checks that read it.
drive() {
    local what=$1
    shift
    echo "--- $what"
    # A server still winding down after the seeding (its desktop process
    # going away) can make the program's window fail to appear.
    wine_settle
    if wine_run "$E2E_DRIVER" --timeout 60 "$PROGRAM" "$@" 2>&1 | tee "$E2E_WORK/driver.log" |
        sed 's/^/    /' && grep -qx 'PASS' "$E2E_WORK/driver.log"; then
        pass "$what"
    else
        fail "$what"
    fi
    wine_settle
}

# The entries that Remove deletes and those beside them, as "key" or
# "key<TAB>value name", relative to HKEY_LOCAL_MACHINE\SOFTWARE.
control_registration_entries() { installation_registry entries target "$WINDIR"; }
neighbour_entries() { installation_registry entries neighbour "$WINDIR"; }

# Reads the program's view of HKEY_LOCAL_MACHINE\SOFTWARE into
# $E2E_WORK/registry.txt (see wine_registry_entries).
snapshot_registry() { wine_registry_entries "$E2E_WORK/registry.txt"; }

in_registry() {
    grep -qixF -- "$1" "$E2E_WORK/registry.txt"
}

# Reads entry lines (see control_registration_entries) on standard input
# and checks each against the last snapshot.
expect_registry() {
    local wanted=$1 entry
    while IFS= read -r entry; do
        local shown=${entry/$'\t'/ value }
        if in_registry "$entry"; then
            if [ "$wanted" = present ]; then pass "registry has $shown"; else fail "registry still has $shown"; fi
        else
            if [ "$wanted" = absent ]; then pass "registry lacks $shown"; else fail "registry lost $shown"; fi
        fi
    done
}

expect_file() {
    local wanted=$1 path=$2
    local shown=${path#"$E2E_WORK/"}
    if [ -e "$path" ]; then
        if [ "$wanted" = present ]; then pass "file kept: $shown"; else fail "file not removed: $shown"; fi
    else
        if [ "$wanted" = absent ]; then pass "file removed: $shown"; else fail "file lost: $shown"; fi
    fi
}

# After a Remove that stopped at the file named $2 in the Unix folder $1:
# the files the last driver run listed before it are gone, those after it
# are still there. The file it stopped at is the caller's to check.
expect_stopped_at() {
    local folder=$1 stop=$2 seen=no name
    while IFS= read -r name; do
        if [ "$name" = "$stop" ]; then
            seen=yes
        elif [ "$seen" = yes ]; then
            expect_file present "$folder/$name"
        else
            expect_file absent "$folder/$name"
        fi
    done < <(sed -n 's/^  file: //p' "$E2E_WORK/driver.log")
}

# The message count in the last driver run.
messages_shown() {
    grep -c '^  message: ' "$E2E_WORK/driver.log" || true
}

# The family's files: the template folder on drive H: and the control and
# the two template files in the Windows directory.
TEMPLATE_DIR="$E2E_WORK/drive_h/Halvoran/template"
seed_template_folder() { wine_seed_template_folder "$E2E_WORK/drive_h" "$@"; }

windows_files() {
    printf '%s\n' "$DOWNLOAD_DIR/$OCX" "$WINDOWS_DIR/Halvoran.dotm" "$WINDOWS_DIR/Halvoran.dot"
}

expect_windows_files() {
    local file
    while IFS= read -r file; do expect_file "$1" "$file"; done < <(windows_files)
}

# The racer of the swap attacks: polls until the folder $1 holds fewer than
# $2 files (the removal has begun), then moves the folder $3 aside and puts
# a link to $4 in its place, as another process would; no Windows program
# could move a folder that the removal holds, but a Unix process is not
# bound by Wine's share checks. Gives up after five minutes.
swap_for_link_when_emptying() {
    local watched=$1 count=$2 swapped=$3 target=$4 deadline=$((SECONDS + 300)) files
    while [ "$SECONDS" -lt "$deadline" ]; do
        files=("$watched"/*)
        if [ "${#files[@]}" -lt "$count" ]; then
            mv "$swapped" "$swapped.moved" && ln -s "$target" "$swapped"
            echo "swapped with ${#files[@]} files left"
            return 0
        fi
    done
    echo "the removal never began"
    return 1
}
