#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# DTMF talk-off: minutes of espeak-ng speech in several voices fed to the built program's
# receiver audio (RX_SOURCE, on hamlib's dummy rig behind rigctld). Every digit it hears is a
# false one. Prints one Markdown table row.
#   bash bench/talkoff.sh [SECONDS_PER_VOICE]
set -euo pipefail
cd "$(dirname "$0")/.."
per_voice=${1:-50}
voices=(en-us en-gb+f3 pt-br es+m3 de fr+f2 it)
work=$(mktemp -d)
rigctld_pid=
cleanup() {
    [[ -n "$rigctld_pid" ]] && kill "$rigctld_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The operator guide as plain sentences: long enough for every voice, and real prose.
sed -e 's/[`*#|>_\[\]()]/ /g' docs/operator-guide.md | tr -s ' \n' ' ' >"$work/text.txt"
parts=()
for voice in "${voices[@]}"; do
    espeak-ng -v "$voice" -s 165 -f "$work/text.txt" -w "$work/$voice.wav" 2>/dev/null &
done
wait
for voice in "${voices[@]}"; do
    sox -V1 -G "$work/$voice.wav" -r 8000 -c 1 -b 16 "$work/$voice-8k.wav" trim 0 "$per_voice"
    parts+=("$work/$voice-8k.wav")
done
sox "${parts[@]}" "$work/speech.wav"
minutes=$(awk -v s="$(soxi -D "$work/speech.wav")" 'BEGIN { printf "%.1f", s / 60 }')

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
rigctld -m 1 -T 127.0.0.1 -t "$port" -P RIG >/dev/null 2>&1 &
rigctld_pid=$!
mkdir -p "$work/config" && mkdir -m 700 "$work/runtime"
cat >"$work/config/Tempovox.ini" <<INI
[AUDIO]
SINK=fakesink
[LINK]
BACKEND=hamlib
RIG_MODEL=2
RIG_PORT=127.0.0.1:$port
PTT_TYPE=RIG
DCD_TYPE=NONE
RX_SOURCE=filesrc location="$work/speech.wav" ! wavparse
INI
sleep 1
XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime timeout 300 build/tempovox --headless \
    2>"$work/log" &
program=$!
for _ in $(seq 600); do
    grep -q "receiver audio source has ended" "$work/log" && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.2
done
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
grep -q "receiver audio source has ended" "$work/log" || { cat "$work/log" >&2; exit 1; }
# "DTMF heard: 4 (does not match DTMFTIME)": the digits are the third field.
false_digits=$(awk '/DTMF heard:/ { n += length($3) } END { print n + 0 }' "$work/log")
printf '| DTMF talk-off: %s min of espeak-ng speech, %d voices, through RX_SOURCE | %d false digits |\n' \
    "$minutes" "${#voices[@]}" "$false_digits"
