#!/usr/bin/env bash
# Writes the administrators' guide, the part of README.md (or of the file
# given) between the "administrators' guide" markers, as plain text with
# Windows line ends, for the release archive. The README is the one source;
# this only takes the Markdown off.
set -euo pipefail

readme=${1:-$(dirname "$0")/../README.md}
for marker in start end; do
    if ! grep -q "^<!-- administrators' guide: $marker -->$" "$readme"; then
        echo "admin-guide: $readme has no \"administrators' guide: $marker\" marker" >&2
        exit 1
    fi
done

{
    echo "Stravik: the administrators' guide"
    echo "=================================="
    echo
    awk '
    /^<!-- administrators\x27 guide: start -->$/ { inside = 1; next }
    /^<!-- administrators\x27 guide: end -->$/ { inside = 0; next }
    !inside { next }
    /^```/ { code = !code; next }
    code { print "    " $0; next }
    /^!\[/ || /^<!--/ { next }
    /^\|[-| :]+\|$/ { next }
    {
        line = $0
        gsub(/`/, "", line)
        gsub(/\*\*/, "", line)
        # [text](#anchor) keeps the text; [text](address) keeps both.
        while (match(line, /\[[^]]*\]\([^)]*\)/)) {
            link = substr(line, RSTART, RLENGTH)
            split_at = index(link, "](")
            text = substr(link, 2, split_at - 2)
            address = substr(link, split_at + 2, length(link) - split_at - 2)
            if (address !~ /^#/) text = text " (" address ")"
            line = substr(line, 1, RSTART - 1) text substr(line, RSTART + RLENGTH)
        }
        if (line ~ /^\|/) {
            sub(/^\| */, "  ", line)
            sub(/ *\|$/, "", line)
            gsub(/ *\| */, "  ", line)
            sub(/ +$/, "", line)
        }
        if (match(line, /^#+ /)) {
            level = RLENGTH - 1
            line = substr(line, RLENGTH + 1)
            underline = line
            gsub(/./, level == 1 ? "=" : level == 2 ? "-" : "~", underline)
            print line
            print underline
            next
        }
        print line
    }' "$readme"
} | cat -s | sed 's/$/\r/'
