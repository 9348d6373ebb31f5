#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop's own output: a private PulseAudio with a null sink, and Tempovox playing into it
# through the default output ([AUDIO] SINK empty) and through pulsesink, each answering COUNT
# DTMF requests, and the minimal station beside them. The sink's monitor is recorded and measured
# by pulse_bench.py. Then pulsesink with buffers of 60 ms to 10 s, LONG_COUNT requests each:
# every clip must be heard, and none of it after PTT 0. Prints Markdown.
#   bench/pulse.sh [COUNT] [LONG_COUNT]   (after bash scripts/setup.sh bench/packages.txt)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
long_count=${2:-5}
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

# A voice of steady tones, so that every silence heard lies between two clips: one pitch per clip,
# and no two equally long, as the chain takes a fresh clip that reads like the last one played out.
mkdir -p "$work/voice" "$work/pulse" "$work/runtime" && chmod 0700 "$work/runtime"
i=0
for stem in Blank DingDong DingDong2 GoodMorning GoodEvening GoodAfternoon TheTimeIs Hour Minutes AM PM $(seq -w 0 59); do
    sox -n -r 44100 -c 1 -b 16 "$work/voice/$stem.wav" synth "0.$((120 + 2 * i))" sine $((300 + 20 * i)) vol 0.5
    i=$((i + 1))
done

export HOME=$work PULSE_RUNTIME_PATH=$work/pulse PULSE_SERVER=unix:$work/pulse/native
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
echo "| output | announcements | silences | silence between clips, median / p99 / worst ms | PTT 1 to first sound, median / p99 / worst ms | clips cut short | sound after PTT 0, ms |"
echo "|---|---|---|---|---|---|---|"
# The minimal station, the baseline, plays one clip of the same voice on the default output.
runs=("Tempovox, default output||build/tempovox|$count" "Tempovox, pulsesink|pulsesink|build/tempovox|$count"
    "minimal station, one clip, default output||build/bench/minimal_station|$count")
for us in 60000 2000000 5000000 10000000; do
    runs+=("Tempovox, pulsesink buffer-time=$((us / 1000)) ms|pulsesink buffer-time=$us|build/tempovox|$long_count")
done
for run in "${runs[@]}"; do
    IFS='|' read -r label sink program requests <<<"$run"
    # A fresh server for each: the first announcement after the server starts is measured too.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no -F /dev/null \
        -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
        -L "module-null-sink sink_name=bench rate=48000 channels=1" >"$work/pulse.log" 2>&1 &
    server=$!
    pids+=("$server")
    for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
    mkdir -p "$XDG_CONFIG_HOME"
    printf '[SETTINGS]\nFILELOCATION=%s/\nOPTION3=False\nOPTION4=False\nOPTION7=False\nOPTION8=False\nOPTION10=False\n[AUDIO]\nSINK=%s\n' \
        "$work/voice" "$sink" >"$XDG_CONFIG_HOME/Tempovox.ini"
    rm -f "$work/runtime/tempovox/link.sock"
    "$program" --headless 2>"$work/program.log" &
    pid=$!
    pids+=("$pid")
    for _ in $(seq 100); do [[ -S $work/runtime/tempovox/link.sock ]] && break; sleep 0.05; done
    python3 bench/pulse_bench.py "$work/runtime/tempovox/link.sock" "$requests" "$label"
    kill "$pid" "$server"
    wait "$pid" "$server" 2>/dev/null || true
done
