# SPDX-License-Identifier: GPL-3.0-or-later
# What every voice folder goes through, whether its clips are synthesized (make-voice.sh) or
# recorded (import-recordings.sh): the trimming and levelling of each clip, the chimes and
# "Blank", the MP3s, and the folder assembled beside its place and renamed into it at the end,
# so an interrupted run leaves the previous folder (or none), never half of one.
# Sourced; the caller defines die() and sets -euo pipefail.

readonly RATE=44100
readonly PEAK_DB=-3
# The threshold below which a clip's leading and trailing sound counts as silence; low enough
# to keep the soft ends of words such as "five" or "minutes".
readonly SILENCE_DB=-50d

chain_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The stems spoken; DingDong, DingDong2 and Blank are made by finish_folder.
spoken=(GoodMorning GoodEvening GoodAfternoon TheTimeIs Hour Minutes AM PM)
for n in {0..59}; do spoken+=("$(printf '%02d' "$n")"); done

require_tools() { # TOOL:PACKAGE...
    local tool
    for tool in "$@" sox:sox soxi:sox lame:lame awk:mawk; do
        command -v "${tool%%:*}" >/dev/null ||
            die "'${tool%%:*}' is not installed (Debian package ${tool#*:})"
    done
}

# A clip that lost all its audio would make the player stop the announcement, so every step
# checks its result by name.
check_audio() { # STEM FILE WHAT
    local samples
    samples=$(soxi -s "$2" 2>/dev/null) || die "stem \"$1\": $3 wrote no readable audio"
    ((samples > 0)) || die "stem \"$1\": $3 produced an empty clip"
}

# Sets $work to an empty folder beside ROOT/FOLDER, removed again unless finish_folder renames it.
start_folder() { # ROOT FOLDER
    root=$1 folder=$2
    mkdir -p "$root"
    # Leftovers of an interrupted run.
    rm -rf "$root/.$folder".partial.* "$root/.$folder".old.*
    work="$root/.$folder.partial.$$"
    trap 'rm -rf "$work"' EXIT
    mkdir "$work"
}

# Mono, 16-bit, 44.1 kHz; silence trimmed at both ends (the reversals let one effect do the
# tail) with a short fade so the cut never clicks; peak at PEAK_DB.
level_clip() { # STEM IN
    # Synthesizers peak at full scale, so make headroom before resampling (norm sets the level).
    sox -R "$2" -c 1 -b 16 "$work/$1.wav" gain -6 rate -v "$RATE" \
        silence 1 0.005 "$SILENCE_DB" reverse silence 1 0.005 "$SILENCE_DB" fade t 0.010 \
        reverse fade t 0.005 norm "$PEAK_DB" ||
        die "stem \"$1\": sox failed"
    check_audio "$1" "$work/$1.wav" "sox (silence trimming)"
}

# The chimes and Blank, an MP3 beside every WAV, then the folder into its place; STAMP, if
# given, is touched last.
finish_folder() { # [STAMP]
    bash "$chain_dir/chimes.sh" "$work" ||
        die "stem \"DingDong\"/\"DingDong2\": the chime recipe failed"
    check_audio DingDong "$work/DingDong.wav" "the chime recipe"
    check_audio DingDong2 "$work/DingDong2.wav" "the chime recipe"
    sox -R -n -r "$RATE" -c 1 -b 16 "$work/Blank.wav" trim 0 0.3 ||
        die "stem \"Blank\": sox failed"
    check_audio Blank "$work/Blank.wav" sox

    # Constant bit rate with the LAME info tag (lame's default): the tag carries the exact
    # sample count, so every decoder reports the same duration as the WAV on every load.
    local wav stem count old="$root/.$folder.old.$$"
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
    if [[ -n ${1:-} ]]; then
        mkdir -p "$(dirname "$1")"
        touch "$1"
    fi
}
