#!/usr/bin/env bash
# The attack on a running Remove: right after the first template file is
# deleted, another process moves the template folder aside and puts a link
# to another folder, holding files of the same names, in its place. No
# Windows program could move the held folder, but a Unix process is not
# bound by Wine's share checks, so the move succeeds here; the check before
# each deletion must notice it, and at most the one file in flight may be
# lost from the other folder.
# shellcheck disable=SC1091 # sourced from beside this script
source "$(dirname "$0")/scenario.sh"

COUNT=1500
wine_seed_control_registration
wine_seed_windows_files
# shellcheck disable=SC2119 # no names: an empty template folder, filled below
seed_template_folder
OTHER=$E2E_WORK/other
mkdir -p "$OTHER"
for ((i = 0; i < COUNT; i++)); do
    name=$(printf 'file%04d.dot' "$i")
    echo template >"$TEMPLATE_DIR/$name"
    echo other >"$OTHER/$name"
done

swap_for_link_when_emptying "$TEMPLATE_DIR" "$COUNT" "$TEMPLATE_DIR" "$OTHER" \
    >"$E2E_WORK/swap.log" 2>&1 &
swapper=$!

drive "Remove with its template folder swapped for a link while it runs" \
    expect-window click-remove expect-message-prefix "Error #" click-exit expect-exit 0
if wait "$swapper"; then pass "$(cat "$E2E_WORK/swap.log")"; else fail "$(cat "$E2E_WORK/swap.log")"; fi

survivors=$(find "$OTHER" -type f | wc -l)
check "$survivors of $COUNT files of the other folder survive" [ "$survivors" -ge $((COUNT - 1)) ]
check "the link is left as it was" [ -L "$TEMPLATE_DIR" ]
expect_windows_files present
snapshot_registry
expect_registry present < <(control_registration_entries)

finish
