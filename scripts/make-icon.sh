#!/usr/bin/env bash
# Draws the updater's icon, a white arrow rising out of a blue tile, and
# writes it as one multi-size icon (16 to 256 px) to updater/icon/tarnwick.ico.
# The drawing below is the icon's source; run this after changing it.
set -euo pipefail
cd "$(dirname "$0")/.."
convert=/usr/bin/convert   # ImageMagick's, whatever else is on the PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$convert" -size 256x256 xc:none \
  -fill '#1d5fb8' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#3f86e0' -draw 'roundrectangle 8,8 247,140 44,44' \
  -fill '#1d5fb8' -draw 'rectangle 8,100 247,140' \
  -fill white -draw 'polygon 128,36 212,124 160,124 160,212 96,212 96,124 44,124' \
  "$work/256.png"
sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  "$convert" "$work/256.png" -resize "${size}x${size}" "$work/$size.png"
done
"$convert" $(printf "$work/%s.png " "${sizes[@]}") -depth 8 updater/icon/tarnwick.ico
echo "written updater/icon/tarnwick.ico"
