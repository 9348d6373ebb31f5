#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# voices/import-recordings.sh on tones recorded in four formats, rates, channel counts and levels
# (one as MP3): a folder the player takes, every clip cut to its sound at -3 dBFS peak; a missing
# or unreadable recording is refused by name and leaves the folder made before as it was.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
import=$here/../../voices/import-recordings.sh
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
mkdir "$t/rec" "$t/out"
fmt=(wav flac ogg wav) rate=(48000 22050 16000 8000) gain=(-30 -1 -12 -20) i=0
for s in GoodMorning GoodEvening GoodAfternoon TheTimeIs Hour Minutes AM PM {0..5}{0..9}; do
    k=$((i++ % 4))
    sox -n -r "${rate[k]}" -c $((k % 2 + 1)) "$t/rec/$s.${fmt[k]}" synth 0.4 sine $((300 + 7 * i)) gain "${gain[k]}" pad 0.5 0.7
done
lame --quiet "$t/rec/TheTimeIs.wav" "$t/rec/TheTimeIs.mp3" && rm "$t/rec/TheTimeIs.wav"
bash "$import" "$t/rec" "$t/out/Mine" >/dev/null && bash "$here/check-voices.sh" "$t/out" Mine || exit 1
for wav in "$t"/out/Mine/{[0-5]?,AM,PM,Hour,TheTimeIs}.wav; do
    sox "$wav" -n stats 2>&1 | awk -v f="${wav##*/}" -v d="$(soxi -D "$wav")" '/Pk lev dB/ && ($4 < -3.1 || $4 > -2.9 || d < 0.38 || d > 0.45) {
        print "FAIL: " f ": peak " $4 " dB, " d " s, not 0.4 s at -3 dB"; exit 1 }' || exit 1
done
mv "$t"/rec/37.* "$t/"
[[ $(bash "$import" "$t/rec" "$t/out/Mine" 2>&1; echo " rc=$?") == *'stem(s): 37 '*' rc=1' ]] || { echo "FAIL: a missing stem is not refused by name"; exit 1; }
echo broken >"$t/rec/37.wav"
[[ $(bash "$import" "$t/rec" "$t/out/Mine" 2>&1; echo " rc=$?") == *'"37": sox cannot read'*' rc=1' ]] || { echo "FAIL: an unreadable recording is not refused"; exit 1; }
[[ $(ls -A "$t/out") == Mine && $(ls "$t/out/Mine" | wc -l) == 142 ]] || { echo "FAIL: a refused import touched the folder"; exit 1; }
echo "import-recordings: a complete, levelled folder; bad recordings refused"
