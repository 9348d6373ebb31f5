#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Synthesizes the two chime clips, DingDong.wav (two notes) and DingDong2.wav (three notes),
# into the folder given: mono, 16-bit, 44.1 kHz, peak -3 dBFS, the same for every voice.
set -euo pipefail
out=${1:?usage: chimes.sh FOLDER}
rate=44100

# One partial of a struck note: starts after DELAY seconds and dies away exponentially
# ("fade l"); DECAY sets how long it rings. The mix is cut to the chime's length later.
partial() { # FREQ DECAY DELAY
    echo "|sox -R -n -r $rate -c 1 -p synth $2 sine $1 fade l 0.004 $2 $2 pad $3"
}

times() { awk -v a="$1" -v b="$2" 'BEGIN { print a * b }'; }

# A bell-like note: the fundamental with two softer harmonics that fade sooner.
note() { # FREQ DELAY
    local f=$1
    printf '%s\n' -v 0.6 "$(partial "$f" 3.5 "$2")" \
        -v 0.3 "$(partial "$(times "$f" 2)" 2.0 "$2")" \
        -v 0.1 "$(partial "$(times "$f" 3)" 1.0 "$2")"
}

chime() { # NAME LENGTH then FREQ DELAY pairs
    local name=$1 length=$2
    shift 2
    local -a inputs=()
    while (($#)); do
        mapfile -t -O "${#inputs[@]}" inputs < <(note "$1" "$2")
        shift 2
    done
    sox -R -m "${inputs[@]}" -r "$rate" -c 1 -b 16 "$out/$name.wav" \
        trim 0 "$length" fade t 0 "$length" 0.3 norm -3
}

# E5 then C5; G5, E5 then C5 (a door-bell and its three-note cousin).
chime DingDong 1.9 659.25 0 523.25 0.55
chime DingDong2 2.4 783.99 0 659.25 0.5 523.25 1.0
