#!/bin/sh
# Renders the icon sources under Gui/img/src: the 50x50 PNGs the form uses, and the station's
# own icon at the sizes a desktop's menus and docks ask for. The PNGs are committed, so this
# runs only after an icon has been changed (needs librsvg2-bin).
set -eu
cd "$(dirname "$0")/../Gui/img"
for svg in src/*.svg; do
    name=$(basename "$svg" .svg)
    rsvg-convert -w 50 -h 50 -o "$name.png" "$svg"
done
for size in 16 24 32 48 64 128 256; do
    mkdir -p "app/${size}x${size}"
    rsvg-convert -w "$size" -h "$size" -o "app/${size}x${size}/org.orlo.CncControl.png" \
        src/app/org.orlo.CncControl.svg
done
