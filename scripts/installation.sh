# Reads scripts/installation.tsv, the registry of a typical Halvoran
# installation, for a given Windows directory. Sourced by the Wine helpers,
# the run command and the release.
#
#   installation_registry FORMAT ROLES WINDIR
#
# ROLES is a comma-separated list of roles (target, inside, neighbour).
# FORMAT is one of
#   reg       REGEDIT4 key and value lines (no header) that create the rows;
#             HKEY_CLASSES_ROOT rows are written to the machine's classes,
#             HKEY_LOCAL_MACHINE\SOFTWARE\Classes, as an installer does
#   entries   one line per tree ("key") or value ("key<TAB>value name"),
#             relative to HKEY_LOCAL_MACHINE\SOFTWARE (classes rows under
#             Classes\); the rows seeded inside a tree are left out
#   labelled  the same entries, each preceded by its name as an
#             administrator reads it and an ASCII unit separator (0x1f)
#   markdown  the rows as Markdown table rows: | kind | key | value |

INSTALLATION_TABLE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/installation.tsv

installation_registry() {
    local format=$1 roles=$2 windir=$3
    awk -F '\t' -v format="$format" -v roles=",$roles," -v windir="$windir" '
        function replace(text, from, to,    at, out) {
            out = ""
            while ((at = index(text, from)) > 0) {
                out = out substr(text, 1, at - 1) to
                text = substr(text, at + length(from))
            }
            return out text
        }
        function expand(text,    slashed) {
            slashed = replace(windir, "\\", "/")
            return replace(replace(text, "%WINDIR_SLASHED%", slashed), "%WINDIR%", windir)
        }
        function quoted(text) {
            return "\"" replace(replace(text, "\\", "\\\\"), "\"", "\\\"") "\""
        }
        function software_relative(root, key) {
            if (root == "HKCR") return "Classes\\" key
            sub(/^SOFTWARE\\/, "", key)
            return key
        }
        function full_name(root, key) {
            return (root == "HKCR" ? "HKEY_CLASSES_ROOT\\" : "HKEY_LOCAL_MACHINE\\") key
        }
        /^#/ || NF == 0 { next }
        index(roles, "," $1 ",") == 0 { next }
        {
            role = $1; kind = $2; root = $3; key = expand($4); value = expand($5); data = expand($6)
            entry = software_relative(root, key)
            if (kind == "value") entry = entry "\t" value
            if (format == "reg") {
                print "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" software_relative(root, key) "]"
                if (value != "-")
                    print (value == "@" ? "@" : quoted(value)) "=" (data ~ /^dword:/ ? data : quoted(data))
            } else if (format == "entries") {
                if (role != "inside") print entry
            } else if (format == "labelled") {
                if (role == "inside") next
                label = full_name(root, key)
                if (kind == "value") label = label ", value " value
                print label "\037" entry
            } else if (format == "markdown") {
                if (role == "inside") next
                if (kind == "value") print "| value | `" full_name(root, key) "` | `" value "` |"
                else print "| key tree | `" full_name(root, key) "` | |"
            }
        }' "$INSTALLATION_TABLE"
}
