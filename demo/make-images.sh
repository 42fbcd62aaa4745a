#!/usr/bin/env bash
# Draws the demo splash images (1340 x 712: shown at half size) into the given folder.
set -euo pipefail
out="${1:?usage: make-images.sh FOLDER}"
mkdir -p "$out"
draw() {  # file, top colour, bottom colour, title, subtitle
  convert -size 1340x712 "gradient:$2-$3" \
    -fill 'rgba(255,255,255,0.35)' -draw 'circle 1120,250 1120,430' \
    -font DejaVu-Sans-Bold -pointsize 92 -fill '#1f222c' -annotate +232+200 "$4" \
    -font DejaVu-Sans -pointsize 40 -fill '#31384a' -annotate +236+270 "$5" \
    "PNG24:$out/$1"
}
draw start-en-US.png '#cfe6f7' '#ffffff' 'Netsetter' 'Demo product, served from 127.0.0.1'
draw start-ru-RU.png '#cfe6f7' '#ffffff' 'Netsetter' 'Демонстрационный продукт'
draw progress.png '#d9f2df' '#ffffff' 'Downloading' 'Netsetter demo'
draw wait.png '#f7ecd0' '#ffffff' 'Installing' 'Netsetter demo'
draw ready.png '#e6dcf7' '#ffffff' 'Ready' 'Netsetter demo'
