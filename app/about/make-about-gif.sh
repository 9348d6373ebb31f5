#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the About box's animated picture: a lattice mast whose beacon blinks while radio waves
# spread from its tip. Usage: make-about-gif.sh CONVERT OUTPUT.gif
# Every frame is drawn from scratch, so the same script always gives the same file.
set -eu

convert=$1
out=$2
frames=6

# The mast and its ground, identical in every frame.
ground="stroke none fill #5a9a48 rectangle 0,236 119,262
        fill #7a5a3a polygon 26,241 94,241 88,235 32,235"
mast="stroke #404858 stroke-width 3 fill none
      line 34,236 60,64 line 86,236 60,64
      stroke-width 2
      line 38,210 82,210 line 42,180 78,180 line 47,150 73,150 line 51,120 69,120 line 55,92 65,92
      line 38,210 78,180 line 42,180 73,150 line 47,150 69,120 line 51,120 65,92 line 55,92 60,64
      line 82,210 42,180 line 78,180 47,150 line 73,150 51,120 line 69,120 55,92
      line 60,64 60,44"

set --
i=0
while [ "$i" -lt "$frames" ]; do
    # Frame i shows the i innermost arcs on each side (at most four): the waves leave the tip.
    waves=""
    r=1
    while [ "$r" -le "$i" ] && [ "$r" -le 4 ]; do
        radius=$((r * 12 + 4))
        # Arcs of 80 degrees around the horizontal: cos 40 = 0.766, sin 40 = 0.643.
        dx=$((radius * 766 / 1000))
        dy=$((radius * 643 / 1000))
        waves="$waves M $((60 + dx)),$((40 - dy)) A $radius,$radius 0 0,1 $((60 + dx)),$((40 + dy))"
        waves="$waves M $((60 - dx)),$((40 - dy)) A $radius,$radius 0 0,0 $((60 - dx)),$((40 + dy))"
        r=$((r + 1))
    done
    if [ $((i % 2)) -eq 0 ]; then
        light='#ff2a2a'
    else
        light='#7a1010'
    fi
    set -- "$@" '(' -size 120x263 'xc:#dcecf8' -draw "$ground" -draw "$mast"
    if [ -n "$waves" ]; then
        set -- "$@" -draw "stroke #d03030 stroke-width 3 fill none stroke-linecap round path '$waves'"
    fi
    set -- "$@" -draw "stroke #401010 stroke-width 1 fill $light circle 60,40 60,35" ')'
    i=$((i + 1))
done

# Written under another name first, so that an interrupted build never leaves half a picture.
"$convert" -delay 25 "$@" -loop 0 -layers Optimize "$out.tmp.gif"
mv "$out.tmp.gif" "$out"
