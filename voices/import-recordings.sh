#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a complete voice folder from recordings, trimmed and levelled like the built voices.
#
#   import-recordings.sh RECORDINGS OUT_FOLDER
#
# RECORDINGS holds one file per spoken stem, named by the stem (05.wav, GoodMorning.flac,
# TheTimeIs.mp3...), in any format sox reads (WAV, FLAC, OGG, AIFF...) or MP3, at any rate,
# level and channel count. The chimes and "Blank" are made as for every voice. OUT_FOLDER is
# replaced only once it is complete.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=clip-chain.sh
. "$here/clip-chain.sh"
prog=$(basename "$0")

die() {
    echo "$prog: $*" >&2
    exit 1
}

(($# == 2)) || die "usage: $prog RECORDINGS OUT_FOLDER"
from=$1 out=${2%/}
[[ -d $from ]] || die "no folder $from"
[[ -n $out && $(basename "$out") != . ]] || die "name the voice folder to make"
require_tools

declare -A take=()
missing=() doubled=()
for stem in "${spoken[@]}"; do
    files=("$from/$stem".*)
    if [[ ! -f ${files[0]} ]]; then
        missing+=("$stem")
    elif ((${#files[@]} > 1)); then
        doubled+=("$stem")
    else
        take[$stem]=${files[0]}
    fi
done
((${#missing[@]} == 0)) ||
    die "$from lacks a recording of ${#missing[@]} stem(s): ${missing[*]} (see docs/voices.md for what each says)"
((${#doubled[@]} == 0)) || die "$from has more than one recording of: ${doubled[*]}"

start_folder "$(dirname "$out")" "$(basename "$out")"
mkdir "$work/decoded"
for stem in "${spoken[@]}"; do
    file=${take[$stem]}
    # sox in Debian reads no MP3; lame decodes it.
    if [[ ${file,,} == *.mp3 ]]; then
        lame --quiet --decode "$file" "$work/decoded/$stem.wav" ||
            die "stem \"$stem\": lame cannot decode $file"
        file=$work/decoded/$stem.wav
    fi
    soxi -s "$file" >/dev/null 2>&1 || die "stem \"$stem\": sox cannot read $file"
    level_clip "$stem" "$file"
done
rm -rf "$work/decoded"
finish_folder
echo "$prog: made $out from $from"
