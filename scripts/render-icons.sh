#!/bin/sh
# Renders the icon sources under Gui/img/src to the 50x50 PNGs the form uses. The PNGs are
# committed, so this runs only after an icon has been changed (needs librsvg2-bin).
set -eu
cd "$(dirname "$0")/../Gui/img"
for svg in src/*.svg; do
    name=$(basename "$svg" .svg)
    rsvg-convert -w 50 -h 50 -o "$name.png" "$svg"
done
