#!/bin/sh
# Draws the About box picture, app/about/lake.jpg: a lake at dusk with hills,
# their reflection in the water, and "Hollvan" and "ZMT" written across it.
# Needs ImageMagick 6 (Debian package imagemagick) and the DejaVu fonts.
# The picture is committed; run this only to draw it again.
set -eu
out=${1:-$(dirname "$0")/../app/about/lake.jpg}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Land and sky: 200 x 80, horizon at the bottom edge.
convert -size 200x80 gradient:'#1d2f6b-#f4b27a' \
    -fill '#f9cf8e' -draw 'circle 184,38 184,28' \
    -fill '#fff1c2' -draw 'circle 184,38 184,31' \
    -fill '#4a4f7d' -draw 'polygon 0,80 0,52 18,44 36,50 58,38 80,48 104,41 120,52 142,46 166,36 186,45 200,42 200,80' \
    -fill '#2f5a45' -draw 'polygon 0,80 0,64 22,58 44,66 70,56 96,67 118,62 150,70 176,60 200,66 200,80' \
    -fill '#1f3d2e' -draw 'polygon 0,80 0,73 30,70 60,75 100,72 140,76 170,71 200,74 200,80' \
    "$tmp/land.png"

# Water: the land mirrored, darker and bluer, broken by ripples.
convert "$tmp/land.png" -flip -crop 200x64+0+0 +repage \
    -fill '#17306a' -colorize 35% -brightness-contrast -12x-8 \
    -wave 1x24 -crop 200x60+0+2 +repage \
    -stroke '#9fb4e0' -strokewidth 1 \
    -draw 'line 20,6 70,6' -draw 'line 110,10 170,10' -draw 'line 40,18 96,18' \
    -draw 'line 140,24 176,24' -draw 'line 8,34 60,34' -draw 'line 132,48 172,48' \
    -draw 'line 20,53 70,53' \
    -stroke '#ffe9a8' -draw 'line 174,32 194,32' -draw 'line 177,39 191,39' -draw 'line 180,46 188,46' \
    "$tmp/water.png"

# Names across the picture, with a soft shadow so they read on sky and water.
convert "$tmp/land.png" "$tmp/water.png" -append +repage \
    -font DejaVu-Serif-Bold-Italic -pointsize 32 -gravity north \
    -fill '#00000080' -annotate -6+10 'Hollvan' \
    -fill '#fff6dc' -annotate -8+8 'Hollvan' \
    -font DejaVu-Sans-Bold -pointsize 22 -gravity south \
    -fill '#00000080' -annotate +2+8 'ZMT' \
    -fill '#ffd27a' -annotate +0+10 'ZMT' \
    -strip -sampling-factor 2x2 -quality 90 "$out"
