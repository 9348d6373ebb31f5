#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the application icon: a clock face between radio waves, in the colours of the main
# window's "Envia hora (RF)" picture. Usage: make-icon.sh CONVERT OUTPUT_DIR SIZE...
# Writes OUTPUT_DIR/<size>x<size>/tempovox.png for every size. Drawn once at 256 pixels and
# scaled down, so every size shows the same picture.
set -eu

convert=$1
out=$2
shift 2

waves="stroke #c82020 stroke-width 13 fill none stroke-linecap round
       path 'M 210,71 A 100,100 0 0,1 210,185 M 46,71 A 100,100 0 0,0 46,185
             M 226,59 A 120,120 0 0,1 226,197 M 30,59 A 120,120 0 0,0 30,197'"
face="stroke #404858 stroke-width 12 fill #fffbe6 circle 128,128 128,50"
ticks="stroke #404858 stroke-width 10 stroke-linecap round
       line 128,66 128,80 line 190,128 176,128 line 128,190 128,176 line 66,128 80,128"
# Ten past ten: the hands leave the face open, as on a clock in a shop window.
hands="stroke #404858 stroke-linecap round
       stroke-width 12 line 128,128 94,108
       stroke-width 8 line 128,128 166,106"
hub="stroke none fill #c82020 circle 128,128 128,119"

mkdir -p "$out"
master="$out/tempovox-256.tmp.png"
"$convert" -size 256x256 xc:none -draw "$waves" -draw "$face" -draw "$ticks" -draw "$hands" \
    -draw "$hub" -strip "PNG32:$master"

for size in "$@"; do
    mkdir -p "$out/${size}x${size}"
    # Written under another name first, so that an interrupted build never leaves half a picture.
    "$convert" "$master" -filter Lanczos -resize "${size}x${size}" -strip \
        "PNG32:$out/${size}x${size}/tempovox.tmp.png"
    mv "$out/${size}x${size}/tempovox.tmp.png" "$out/${size}x${size}/tempovox.png"
done
rm -f "$master"
