#!/usr/bin/env bash
# Checks the voice folders a build made, and that the generator refuses bad input
# without disturbing a folder already in place.
#
#   check-voices.sh WAVFILES_DIR VOICES_SOURCE_DIR
set -uo pipefail
root=${1:?usage: check-voices.sh WAVFILES_DIR VOICES_SOURCE_DIR}
source_dir=${2:?usage: check-voices.sh WAVFILES_DIR VOICES_SOURCE_DIR}

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

check_folder() {
    local dir=$root/$1
    [[ -d $dir ]] || { fail "$1: no folder $dir"; return; }

    local actual
    actual=$(cd "$dir" && find . -mindepth 1 -maxdepth 1 -printf '%P\n' | LC_ALL=C sort)
    [[ $actual == "$expected" ]] ||
        fail "$1: not the 142 clips (< missing, > extra):"$'\n'"$(
            diff <(echo "$expected") <(echo "$actual") | grep '^[<>]')"

    local empty
    empty=$(find "$dir" -maxdepth 1 -type f -empty -printf '%f ')
    [[ -z $empty ]] || fail "$1: empty files: $empty"

    local -a wavs=()
    for s in "${stems[@]}"; do [[ -s $dir/$s.wav ]] && wavs+=("$dir/$s.wav"); done
    ((${#wavs[@]})) || return
    # One soxi run per property over the whole folder keeps this fast.
    local property flag value line i
    for property in "c:1" "b:16" "r:44100" "e:Signed Integer PCM"; do
        flag=${property%%:*} value=${property#*:} i=0
        while IFS= read -r line; do
            [[ $line == "$value" ]] ||
                fail "$1/$(basename "${wavs[i]}"): soxi -$flag says '$line', expected '$value'"
            i=$((i + 1))
        done < <(soxi "-$flag" "${wavs[@]}" 2>&1)
    done

    # A WAV's duration is its sample count; the MP3, decoded gaplessly through its
    # info tag, must come back with exactly as many samples.
    local -a samples=()
    mapfile -t samples < <(soxi -s "${wavs[@]}" 2>&1)
    for i in "${!wavs[@]}"; do
        local stem wav_samples mp3_samples
        stem=$(basename "${wavs[i]}" .wav)
        wav_samples=${samples[i]}
        if [[ ! $wav_samples =~ ^[0-9]+$ ]] || ((wav_samples == 0)); then
            fail "$1/$stem.wav: no audio ($wav_samples)"
            continue
        fi
        [[ -s $dir/$stem.mp3 ]] || continue
        if ! lame --decode --quiet "$dir/$stem.mp3" "$scratch/decoded.wav" 2>"$scratch/err"; then
            fail "$1/$stem.mp3 does not decode: $(cat "$scratch/err")"
            continue
        fi
        mp3_samples=$(soxi -s "$scratch/decoded.wav")
        ((mp3_samples == wav_samples)) ||
            fail "$1/$stem.mp3 lasts $mp3_samples samples, its WAV $wav_samples"
    done

    # Every stem says something different (the two chimes and the three greetings
    # too), so two identical clips mean a slip in a table or in the chime recipe.
    local dupes
    dupes=$(cd "$dir" && md5sum -- *.wav | sort | uniq -w32 -D | awk '{print $2}' | tr '\n' ' ')
    [[ -z $dupes ]] || fail "$1: identical clips: $dupes"
}

folders=(US_Kate Español brasil)
for folder in "${folders[@]}"; do check_folder "$folder"; done

for chime in DingDong DingDong2; do
    for folder in "${folders[@]:1}"; do
        cmp -s "$root/${folders[0]}/$chime.wav" "$root/$folder/$chime.wav" ||
            fail "$chime.wav differs between ${folders[0]} and $folder"
    done
done

# A bad table must stop the generator with the stem named, leave the folder that was
# there untouched and leave no partial folder behind. "." is spoken as silence, so
# its clip trims to nothing; it is the last stem made, after all the others.
generator=$source_dir/make-voice.sh
mkdir -p "$scratch/root/Kate"
touch "$scratch/root/Kate/previous"
expect_refusal() { # WHAT TABLE STEM
    if bash "$generator" "$2" "$scratch/root" Kate 2>"$scratch/err" >/dev/null; then
        fail "generator accepted $1"
    elif ! grep -q "\"$3\"" "$scratch/err"; then
        fail "generator's message for $1 does not name stem \"$3\": $(cat "$scratch/err")"
    fi
    [[ $(ls -A "$scratch/root/Kate") == previous ]] || fail "$1 disturbed the folder in place"
    [[ $(ls -A "$scratch/root") == Kate ]] || fail "$1 left behind: $(ls -A "$scratch/root")"
}
grep -v $'^17\t' "$source_dir/en-us.tsv" >"$scratch/missing.tsv"
expect_refusal "a table without a stem" "$scratch/missing.tsv" 17
sed $'s/^59\t.*/59\t./' "$source_dir/en-us.tsv" >"$scratch/silent.tsv"
expect_refusal "a stem that comes out empty" "$scratch/silent.tsv" 59

((failures == 0)) || { echo "$failures failure(s)" >&2; exit 1; }
echo "voices: all checks passed"
