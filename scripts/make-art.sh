#!/bin/bash
# Regenerates the bitmaps under data/ from their SVG sources.
# The PNGs are kept in the repository so that a build needs no SVG tools;
# run this after changing any of the SVGs and commit the results.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
data="$root/data"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "make-art.sh: rsvg-convert not found (apt-get install librsvg2-bin)" >&2
    exit 1
fi

render() { # svg width height png
    mkdir -p "$(dirname "$4")"
    rsvg-convert --format=png --width="$2" --height="$3" --output="$4" "$1"
    echo "wrote ${4#"$root"/} (${2}x${3})"
}

for size in 16 32 48; do
    render "$data/icons/corvane-tesk.svg" "$size" "$size" \
        "$data/icons/hicolor/${size}x${size}/apps/corvane-tesk.png"
done

for size in 16 22 32; do
    render "$data/icons/corvane-tesk-tray.svg" "$size" "$size" \
        "$data/icons/corvane-tesk-tray-$size.png"
done

render "$data/banner.svg" 750 79 "$data/banner.png"
