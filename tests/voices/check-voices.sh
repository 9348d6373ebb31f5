#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The voice folders the build made: every folder holds the 142 clips, WAV as the player expects
# it and MP3 of the same length, none empty or silent.
#   check-voices.sh WAVFILES_DIR [FOLDER...]   (the three built voices by default)
set -uo pipefail
root=${1:?usage: check-voices.sh WAVFILES_DIR [FOLDER...]}
folders=("${@:2}")
((${#folders[@]})) || folders=(US_Kate Español brasil)
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

stems=(Blank DingDong DingDong2 GoodMorning GoodEvening GoodAfternoon TheTimeIs Hour Minutes AM PM)
for n in {0..59}; do stems+=("$(printf '%02d' "$n")"); done
expected=$(for s in "${stems[@]}"; do printf '%s.wav\n%s.mp3\n' "$s" "$s"; done | LC_ALL=C sort)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

for folder in "${folders[@]}"; do
    dir=$root/$folder
    actual=$(cd "$dir" 2>/dev/null && ls | LC_ALL=C sort)
    [[ $actual == "$expected" ]] || fail "$folder: not the 142 clips: $(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | head -5)"
    for stem in "${stems[@]}"; do
        wav=$dir/$stem.wav
        [[ "$(soxi -c "$wav") $(soxi -b "$wav") $(soxi -r "$wav")" == "1 16 44100" ]] || fail "$folder/$stem.wav is not mono 16-bit 44.1 kHz"
        samples=$(soxi -s "$wav" 2>/dev/null)
        [[ ${samples:-0} -gt 0 ]] || fail "$folder/$stem.wav holds no audio"
        lame --decode --quiet "$dir/$stem.mp3" "$scratch/decoded.wav" 2>/dev/null || fail "$folder/$stem.mp3 does not decode"
        [[ $(soxi -s "$scratch/decoded.wav" 2>/dev/null) == "$samples" ]] || fail "$folder/$stem.mp3 is not as long as its WAV"
    done
done
((failures == 0)) && echo "voice folders: all clips present and sound" || exit 1
