#!/usr/bin/env bash
# Renders the application icon's PNG sizes from data/icons/quillbox.svg. The PNGs are committed, so
# only a changed SVG needs this (rsvg-convert comes with Debian's librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
command -v rsvg-convert >/dev/null || { echo "render-icons: needs rsvg-convert (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" quillbox.svg -o "${size}x${size}/quillbox.png"
done
