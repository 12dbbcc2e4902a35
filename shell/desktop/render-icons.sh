#!/usr/bin/env bash
# Renders tessary.svg to the PNG sizes the install puts into the hicolor
# theme. Run after changing the SVG; the PNGs are kept in the repository so
# the build needs no renderer (rsvg-convert is in Debian's librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 128 256; do
  rsvg-convert -w "$size" -h "$size" tessary.svg -o "tessary-$size.png"
done
