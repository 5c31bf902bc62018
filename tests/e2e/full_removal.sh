# A complete installation removed through the window: the template folder
# on H: (read-only files, names outside ASCII, names so long that their
# full paths reach 259, 260, 261 and 276 characters, thousands of files
# and a subfolder), the control and both template files in the Windows directory,
# and every registry entry, with neighbours that must survive. A second
# Remove finds nothing more to do.
source "$(dirname "$0")/scenario.sh"

wine_seed_control_registration
wine_seed_neighbours
seed_template_folder Normal.dotx Brief.dotm 'Ångström.dotx' 'Résumé.dot' '契約書.dotx'
chmod a-w "$TEMPLATE_DIR/Brief.dotm"
# H:\Halvoran\template\ is 21 characters; a name may have 255.
long_name() { printf "%s%${2}s.dot" "$1" '' | tr ' ' "${3:-L}"; }
for name in "$(long_name '' 234)" "$(long_name R 234)" "$(long_name 'ÄÖÜßé' 231 x)" \
    "$(long_name '' 251 N)"; do
    echo long >"$TEMPLATE_DIR/$name"
done
chmod a-w "$TEMPLATE_DIR/$(long_name R 234)"
for ((i = 0; i < 3000; i++)); do : >"$TEMPLATE_DIR/part$i.tmp"; done
mkdir -p "$TEMPLATE_DIR/Archive"
echo kept >"$TEMPLATE_DIR/Archive/Old.dotx"
wine_seed_windows_files
chmod a-w "$WINDOWS_DIR/Halvoran.dot"
echo other >"$DOWNLOAD_DIR/Other.ocx"

drive "Remove deletes everything and reports it; a second Remove does the same" \
    expect-window click-remove expect-message "Finished removing Halvoran OCX files!" \
    click-remove expect-message "Finished removing Halvoran OCX files!" \
    click-exit expect-exit 0

left=$(find "$TEMPLATE_DIR" -maxdepth 1 -type f | wc -l)
if [ "$left" -eq 0 ]; then
    pass "no file left in the template folder"
else
    fail "$left files left in the template folder, such as $(find "$TEMPLATE_DIR" -maxdepth 1 -type f | head -3 | xargs -d '\n' -n1 basename | tr '\n' ' ')"
fi
expect_file present "$TEMPLATE_DIR/Archive/Old.dotx"
# Wine's IsUserAnAdmin is always true; the run without administrator rights is tested on the stand-in.
expect_windows_files absent
expect_file present "$DOWNLOAD_DIR/Other.ocx"
snapshot_registry
expect_registry absent < <(control_registration_entries)
expect_registry present < <(neighbour_entries)

finish
