#!/usr/bin/env bash
# Renders the program's icon packaging/halvix.svg into the PNG sizes the package installs
# (packaging/icons/halvix-48.png, -128.png). Run after changing the drawing; the PNGs are kept in
# the repository so that a build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../packaging"
mkdir -p icons
for size in 48 128; do
    rsvg-convert -w $size -h $size halvix.svg -o icons/halvix-$size.png
done
