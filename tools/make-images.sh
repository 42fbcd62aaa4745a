#!/usr/bin/env bash
# Draws the installer's images (button layers, pop-up icons, logo, spinner, application icon and the demo splash
# images) into resources/images with ImageMagick. The PNGs are committed; run this only to change them.
# Button layers and pop-up icons are drawn at four times their size on screen (the widgets draw them at a quarter).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="$ROOT/resources/images"
mkdir -p "$OUT"
cd "$OUT"
draw() { local file="$1"; shift; convert "$@" -define png:exclude-chunks=date,time -strip "PNG32:$file"; }

# The widgets draw every image flattened onto white (transparent pixels come out white), so each image that sits on
# something else carries that colour itself.

# Close cross (3 normal, 4 hover, 5 pressed): a white box over the whole 32 x 26 DIP button, on the splash image.
i=3
for colour in '#5A5F6E' '#1F222C' '#000000'; do
  draw close-$i.png -size 128x104 xc:white -stroke "$colour" -strokewidth 8 \
    -draw "stroke-linecap round line 48,36 80,68" -draw "stroke-linecap round line 80,36 48,68"
  i=$((i + 1))
done

# Check box (13-15) and checked check box (16-18): 16 x 16 DIPs.
i=13
for colour in '#585D70' '#1F222C' '#000000'; do
  draw check-$i.png -size 64x64 xc:none -fill white -stroke "$colour" -strokewidth 5 \
    -draw "roundrectangle 6,6 57,57 8,8"
  draw check-$((i + 3)).png -size 64x64 xc:none -fill "$colour" -stroke "$colour" -strokewidth 5 \
    -draw "roundrectangle 6,6 57,57 8,8" -fill none -stroke white -strokewidth 7 \
    -draw "stroke-linecap round stroke-linejoin round polyline 17,33 28,44 47,21"
  i=$((i + 1))
done

# Gear (19 normal, 20 hover, 21 pressed) of the settings toggle, on white: 20 x 16 DIPs, the gear in the left
# 16 (the toggle places the image's right edge 4 DIPs before its text).
i=19
for colour in '#1F222C' '#606C7D' '#9CA1A8'; do
  teeth=()
  for a in 0 45 90 135 180 225 270 315; do teeth+=(-draw "translate 32,32 rotate $a rectangle -6,-29 6,-16"); done
  convert -size 64x64 xc:none -fill "$colour" -draw "circle 32,32 32,12" "${teeth[@]}" \
    \( -size 64x64 xc:none -fill white -draw "circle 32,32 32,40" \) -compose DstOut -composite \
    -compose Over -background white -gravity west -extent 80x64 -flatten \
    -define png:exclude-chunks=date,time -strip "PNG32:gear-$i.png"
  i=$((i + 1))
done

# Three dots of the folder button (22 normal, 23 hover, 24 pressed), on the button's grey: 16 x 16 DIPs.
i=22
for colour in '#1F222C' '#585D70' '#000000'; do
  draw dots-$i.png -size 64x64 xc:'#E6E8EB' -fill "$colour" \
    -draw "circle 12,32 12,38" -draw "circle 32,32 32,38" -draw "circle 52,32 52,38"
  i=$((i + 1))
done

# Arrow of the main action button: 25-27 light (normal, hover, pressed), 28 dark (disabled), each on the button's
# fill in that state: 24 x 16 DIPs (the button places the image 10 DIPs after its text).
i=25
for pair in '#FFFFFF:#000000' '#F0F0F0:#525252' '#DCDCDC:#525252' '#525252:#000000'; do
  colour=${pair%%:*}
  fill=${pair##*:}
  draw arrow-$i.png -size 96x64 xc:"$fill" -fill none -stroke "$colour" -strokewidth 7 \
    -draw "stroke-linecap round line 10,32 52,32" -draw "stroke-linecap round stroke-linejoin round polyline 34,14 52,32 34,50"
  i=$((i + 1))
done

# Chevrons: 29-30 up, 31-32 down (normal, hover), on white: 18 x 12 DIPs, the chevron in the right 12 (the
# settings toggle keeps its text clear of the image's whole width).
i=29
for colour in '#1F222C' '#606C7D'; do
  draw chevron-$i.png -size 72x48 xc:white -fill none -stroke "$colour" -strokewidth 6 \
    -draw "stroke-linecap round stroke-linejoin round polyline 34,31 48,17 62,31"
  draw chevron-$((i + 2)).png -size 72x48 xc:white -fill none -stroke "$colour" -strokewidth 6 \
    -draw "stroke-linecap round stroke-linejoin round polyline 34,17 48,31 62,17"
  i=$((i + 1))
done

# Save icon (33 normal, 34 hover, 35 pressed, 36 disabled): 15 x 15 DIPs.
i=33
for colour in '#1F222C' '#405CEF' '#27404C' '#9CA1A8'; do
  draw save-$i.png -size 60x60 xc:none -fill none -stroke "$colour" -strokewidth 6 \
    -draw "stroke-linecap round line 30,6 30,38" -draw "stroke-linecap round stroke-linejoin round polyline 17,26 30,39 43,26" \
    -draw "stroke-linecap round stroke-linejoin round polyline 8,42 8,53 52,53 52,42"
  i=$((i + 1))
done

# Pop-up icons: 11 question, 12 information: 32 x 32 DIPs.
draw popup-question-11.png -size 128x128 xc:none -fill '#168FD3' -draw "circle 64,64 64,4" \
  -fill white -font DejaVu-Sans-Bold -pointsize 84 -gravity center -annotate +0+4 '?'
draw popup-info-12.png -size 128x128 xc:none -fill '#F0A020' -draw "circle 64,64 64,4" \
  -fill white -font DejaVu-Sans-Bold -pointsize 84 -gravity center -annotate +0+4 '!'

# Logo (9): drawn at its own size at the top left of the splash images; an opaque badge.
draw logo-9.png -size 150x40 xc:'#168FD3' -fill white -draw "polygon 12,10 12,30 29,20" \
  -font DejaVu-Sans-Bold -pointsize 20 -gravity west -annotate +38+0 'Netsetter'

# Spinner (37): a grey ring with an open blue arc of a third of it (round ends), rotated by the window.
# The arc is a polyline every 5 degrees: ImageMagick strokes an arc path closed, with its chord.
arc=$(awk 'BEGIN { for (a = -90; a <= 30; a += 5) printf "%.2f,%.2f ", 32 + 26 * cos(a * 3.14159265 / 180), 32 + 26 * sin(a * 3.14159265 / 180) }')
draw spinner-37.png -size 64x64 xc:none -fill none -stroke '#DDE2E5' -strokewidth 7 \
  -draw "circle 32,32 32,6" -stroke '#168FD3' -draw "stroke-linecap round stroke-linejoin round polyline $arc"

# Application icon (10).
convert -size 256x256 xc:none -fill '#168FD3' -draw "roundrectangle 8,8 247,247 48,48" \
  -fill white -draw "polygon 80,64 80,192 196,128" -define icon:auto-resize=256,48,32,16 app.ico

# Demo splash images (main, wait, ready): 1340 x 712, shown at half size.
splash() {
  local file="$1" from="$2" to="$3" caption="$4"
  convert -size 1340x712 "gradient:$from-$to" \
    -fill 'rgba(255,255,255,0.18)' -draw "circle 1080,300 1080,40" -draw "circle 240,620 240,470" \
    -fill white -font DejaVu-Sans-Bold -pointsize 64 -gravity center -annotate +0-20 "$caption" \
    -define png:exclude-chunks=date,time -strip "PNG24:$file"
}
splash splash-main.png '#8FD3F4' '#168FD3' 'Netsetter'
splash splash-wait.png '#C9D6DF' '#52616B' 'Almost there'
splash splash-ready.png '#B8F0C8' '#1E9E5A' 'All set'
