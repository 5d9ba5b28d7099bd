#!/bin/sh
# text2fax of the platform root: turns plain text on standard input into the
# fax service's input on standard output: a first line "FAX-TEXT 1", then the
# text in pages of 66 lines, each page after the first starting with a form
# feed. Empty input is refused with status 1.
set -u
tmp=$(mktemp) || exit 1
trap 'rm -f "$tmp"' EXIT
cat > "$tmp" || exit 1
if [ ! -s "$tmp" ]; then
    echo "text2fax: no input" >&2
    exit 1
fi
echo "FAX-TEXT 1"
awk 'NR > 1 && (NR - 1) % 66 == 0 { printf "\f" } { print }' "$tmp"
