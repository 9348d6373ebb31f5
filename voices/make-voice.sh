#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds one voice folder from its phrase table: every stem as .wav and .mp3.
#
#   make-voice.sh TABLE WAVFILES_DIR FOLDER [STAMP]
#
# TABLE holds "stem<TAB>words" lines ("#" starts a comment) and two settings,
# "@voice<TAB>espeak-ng voice" and "@speed<TAB>words per minute". The chimes and
# "Blank" are not spoken and are made here for every voice alike.
# The folder is assembled beside WAVFILES_DIR/FOLDER and renamed into place at the
# end, so an interrupted run leaves the previous folder (or none), never half of one.
set -euo pipefail

readonly RATE=44100
readonly PEAK_DB=-3
# The threshold below which espeak-ng's leading and trailing output counts as silence;
# low enough to keep the soft ends of words such as "five" or "minutes".
readonly SILENCE_DB=-50d

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prog=$(basename "$0")

die() {
    echo "$prog: ${folder:+$folder: }$*" >&2
    exit 1
}

(($# == 3 || $# == 4)) || die "usage: $prog TABLE WAVFILES_DIR FOLDER [STAMP]"
table=$1 root=$2 folder=$3 stamp=${4:-}

# Tool and the Debian package that brings it.
for tool in espeak-ng:espeak-ng sox:sox soxi:sox lame:lame awk:mawk; do
    command -v "${tool%%:*}" >/dev/null ||
        die "'${tool%%:*}' is not installed (Debian package ${tool#*:})"
done
[[ -r $table ]] || die "cannot read the phrase table $table"

# The stems spoken from the table; DingDong, DingDong2 and Blank are synthesized.
spoken=(GoodMorning GoodEvening GoodAfternoon TheTimeIs Hour Minutes AM PM)
for n in {0..59}; do spoken+=("$(printf '%02d' "$n")"); done

declare -A words=()
voice="" speed=""
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
        @speed) speed=$value ;;
        *)
            [[ -z ${words[$key]+set} ]] || die "$table:$lineno: stem \"$key\" listed twice"
            words[$key]=$value
            ;;
    esac
done <"$table"

[[ -n $voice ]] || die "$table: no @voice line"
[[ $speed =~ ^[0-9]+$ ]] || die "$table: @speed must be words per minute"
for stem in "${spoken[@]}"; do
    [[ -n ${words[$stem]+set} ]] || die "$table: stem \"$stem\" is missing"
done
((${#words[@]} == ${#spoken[@]})) || {
    for key in "${!words[@]}"; do
        [[ " ${spoken[*]} " == *" $key "* ]] ||
            die "$table: unknown stem \"$key\" (DingDong, DingDong2 and Blank are made, not spoken)"
    done
}
espeak-ng -v "$voice" -q "" 2>/dev/null || die "espeak-ng has no voice \"$voice\""

mkdir -p "$root"
# Leftovers of an interrupted run, and the folder being assembled by this one.
rm -rf "$root/.$folder".partial.* "$root/.$folder".old.*
work="$root/.$folder.partial.$$"
old="$root/.$folder.old.$$"
trap 'rm -rf "$work"' EXIT
mkdir "$work" "$work/raw"

# A clip that lost all its audio would make the player stop the announcement, so
# every step checks its result by name.
check_audio() { # STEM FILE WHAT
    local samples
    samples=$(soxi -s "$2" 2>/dev/null) || die "stem \"$1\": $3 wrote no readable audio"
    ((samples > 0)) || die "stem \"$1\": $3 produced an empty clip"
}

for stem in "${spoken[@]}"; do
    raw="$work/raw/$stem.wav"
    printf '%s' "${words[$stem]}" |
        espeak-ng --stdin -b 1 -v "$voice" -s "$speed" -w "$raw" ||
        die "stem \"$stem\": espeak-ng failed"
    check_audio "$stem" "$raw" espeak-ng
    # espeak-ng peaks at full scale, so make headroom before resampling (norm sets the
    # level at the end); trim the silence at both ends (the reversals let one effect do
    # the tail), with a short fade so the cut never clicks.
    sox -R "$raw" -c 1 -b 16 "$work/$stem.wav" gain -6 rate -v "$RATE" \
        silence 1 0.005 "$SILENCE_DB" reverse silence 1 0.005 "$SILENCE_DB" fade t 0.010 \
        reverse fade t 0.005 norm "$PEAK_DB" ||
        die "stem \"$stem\": sox failed"
    check_audio "$stem" "$work/$stem.wav" "sox (silence trimming)"
done
rm -rf "$work/raw"

bash "$here/chimes.sh" "$work" || die "stem \"DingDong\"/\"DingDong2\": the chime recipe failed"
check_audio DingDong "$work/DingDong.wav" "the chime recipe"
check_audio DingDong2 "$work/DingDong2.wav" "the chime recipe"
sox -R -n -r "$RATE" -c 1 -b 16 "$work/Blank.wav" trim 0 0.3 ||
    die "stem \"Blank\": sox failed"
check_audio Blank "$work/Blank.wav" sox

# Constant bit rate with the LAME info tag (lame's default): the tag carries the exact
# sample count, so every decoder reports the same duration as the WAV on every load.
for wav in "$work"/*.wav; do
    stem=$(basename "$wav" .wav)
    lame --quiet --noreplaygain -b 64 -m m --resample 44.1 "$wav" "$work/$stem.mp3" ||
        die "stem \"$stem\": lame failed"
    [[ -s $work/$stem.mp3 ]] || die "stem \"$stem\": lame produced an empty file"
done

count=$(find "$work" -maxdepth 1 -type f | wc -l)
((count == 142)) || die "expected 142 clips, made $count"

if [[ -e $root/$folder ]]; then
    mv -T "$root/$folder" "$old"
fi
mv -T "$work" "$root/$folder"
rm -rf "$old"
if [[ -n $stamp ]]; then
    mkdir -p "$(dirname "$stamp")"
    touch "$stamp"
fi
