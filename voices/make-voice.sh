#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds one voice folder from its phrase table: every stem as .wav and .mp3.
#
#   make-voice.sh TABLE WAVFILES_DIR FOLDER [STAMP]
#
# TABLE holds "stem<TAB>words" lines ("#" starts a comment) and settings:
#   @engine   espeak-ng (the default), flite or festival
#   @voice    the engine's voice: "en-us+f3", "rms", "kal_diphone"
#   @speed    espeak-ng only: words per minute
#   @stretch  flite and festival only: how much longer than the voice's own pace, 1.1 = 10 %
# The chimes and "Blank" are not spoken and are made for every voice alike (clip-chain.sh).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=clip-chain.sh
. "$here/clip-chain.sh"
prog=$(basename "$0")

die() {
    echo "$prog: ${folder:+$folder: }$*" >&2
    exit 1
}

(($# == 3 || $# == 4)) || die "usage: $prog TABLE WAVFILES_DIR FOLDER [STAMP]"
table=$1 root=$2 folder=$3 stamp=${4:-}

[[ -r $table ]] || die "cannot read the phrase table $table"

declare -A words=()
engine=espeak-ng voice="" speed="" stretch=1
lineno=0
while IFS= read -r line || [[ -n $line ]]; do
    lineno=$((lineno + 1))
    line=${line%$'\r'}
    [[ -z $line || $line == \#* ]] && continue
    [[ $line == *$'\t'* ]] || die "$table:$lineno: expected stem<TAB>words"
    key=${line%%$'\t'*} value=${line#*$'\t'}
    [[ -n $value ]] || die "$table:$lineno: stem \"$key\" has no words"
    case $key in
        @voice) voice=$value ;;
        @engine) engine=$value ;;
        @speed) speed=$value ;;
        @stretch) stretch=$value ;;
        *)
            [[ -z ${words[$key]+set} ]] || die "$table:$lineno: stem \"$key\" listed twice"
            words[$key]=$value
            ;;
    esac
done <"$table"

[[ -n $voice ]] || die "$table: no @voice line"
[[ $stretch =~ ^[0-9]+(\.[0-9]+)?$ ]] || die "$table: @stretch must be a factor such as 1.1"
case $engine in
    espeak-ng)
        require_tools espeak-ng:espeak-ng
        [[ $speed =~ ^[0-9]+$ ]] || die "$table: @speed must be words per minute"
        [[ $stretch == 1 ]] || die "$table: @stretch is for flite and festival; espeak-ng takes @speed"
        espeak-ng -v "$voice" -q "" 2>/dev/null || die "espeak-ng has no voice \"$voice\""
        ;;
    flite)
        require_tools flite:flite
        [[ -z $speed ]] || die "$table: @speed is for espeak-ng; flite takes @stretch"
        # An unknown name would quietly fall back to flite's default voice.
        [[ " $(flite -lv) " == *" $voice "* ]] || die "flite has no voice \"$voice\" (flite -lv)"
        ;;
    festival)
        require_tools text2wave:festival
        [[ -z $speed ]] || die "$table: @speed is for espeak-ng; festival takes @stretch"
        # Diphone voices lengthen by Duration_Stretch, HTS voices by their engine's rate.
        setup="(voice_$voice) (Parameter.set 'Duration_Stretch $stretch)
            (if (boundp 'hts_engine_params) (set! hts_engine_params
              (append hts_engine_params (list (list \"-r\" (/ 1.0 $stretch))))))"
        errors=$(printf 'a' | text2wave -eval "(begin $setup)" -o /dev/null 2>&1) && [[ -z $errors ]] ||
            die "festival has no voice \"$voice\" (Debian packages festvox-*): $errors"
        ;;
    *) die "$table: @engine must be espeak-ng, flite or festival" ;;
esac
for stem in "${spoken[@]}"; do
    [[ -n ${words[$stem]+set} ]] || die "$table: stem \"$stem\" is missing"
done
((${#words[@]} == ${#spoken[@]})) || {
    for key in "${!words[@]}"; do
        [[ " ${spoken[*]} " == *" $key "* ]] ||
            die "$table: unknown stem \"$key\" (DingDong, DingDong2 and Blank are made, not spoken)"
    done
}
start_folder "$root" "$folder"
mkdir "$work/raw"

speak() { # WORDS WAV
    case $engine in
        espeak-ng) printf '%s' "$1" | espeak-ng --stdin -b 1 -v "$voice" -s "$speed" -w "$2" ;;
        flite) flite -voice "$voice" --setf duration_stretch="$stretch" -t "$1" -o "$2" ;;
        festival) printf '%s' "$1" | text2wave -eval "(begin $setup)" -o "$2" ;;
    esac
}

for stem in "${spoken[@]}"; do
    raw="$work/raw/$stem.wav"
    speak "${words[$stem]}" "$raw" || die "stem \"$stem\": $engine failed"
    check_audio "$stem" "$raw" "$engine"
    level_clip "$stem" "$raw"
done
rm -rf "$work/raw"
finish_folder "$stamp"
