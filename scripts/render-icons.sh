#!/usr/bin/env bash
# Renders the host's icon (packaging/icons/tesrhost.svg) to the PNG sizes of the hicolor theme,
# into packaging/icons/hicolor/. The PNGs are committed; run this after changing the SVG
# (needs rsvg-convert: Debian librsvg2-bin).
set -euo pipefail
icons=$(cd "$(dirname "$0")/../packaging/icons" && pwd)
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$icons/hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$icons/tesrhost.svg" -o "$icons/hicolor/${size}x${size}/apps/tesrhost.png"
done
