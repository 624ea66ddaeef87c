#!/usr/bin/env bash
# Checks the desktop integration files in DATA_DIR with the desktop's own tools: the launcher passes
# desktop-file-validate without a word, the MIME XML builds a MIME database and defines every type
# the launcher claims, and each icon PNG has the size its folder names. Exit 77: a tool is missing.
set -uo pipefail
data=${1:?usage: validate-desktop-data.sh DATA_DIR}
for tool in desktop-file-validate update-mime-database file; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
fail() { echo "FAILED: $*" >&2; exit 1; }

report=$(desktop-file-validate "$data/quillbox.desktop" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mime="$tmp/mime"
mkdir -p "$mime/packages"
cp "$data/quillbox-mime.xml" "$mime/packages/quillbox.xml"
report=$(XDG_DATA_HOME="$tmp" update-mime-database "$mime" 2>&1 >/dev/null) || fail "update-mime-database: $report"
[ -z "$report" ] || fail "update-mime-database: $report"
grep -qx '50:application/x-quillbox-library:\*\.pslib:cs' "$mime/globs2" || fail "no case-sensitive *.pslib glob"
grep -qx '50:application/x-ps02-patch:\*\.pch' "$mime/globs2" || fail "no *.pch glob"

claimed=$(sed -n 's/^MimeType=//p' "$data/quillbox.desktop" | tr ';' '\n' | sed '/^$/d')
[ -n "$claimed" ] || fail "the launcher claims no MIME type"
for type in $claimed; do
    grep -q "^$type\$" "$mime/types" || fail "the launcher claims $type, which the MIME XML does not define"
done

[ -f "$data/icons/quillbox.svg" ] || fail "no scalable icon"
count=0
for png in "$data"/icons/*x*/quillbox.png; do
    size=$(basename "$(dirname "$png")")
    file "$png" | grep -q "PNG image data, ${size/x/ x }," || fail "$png is not a ${size} PNG"
    count=$((count + 1))
done
[ "$count" -ge 6 ] || fail "only $count icon sizes"
echo "desktop data valid: launcher, MIME types, $count icon sizes"
