#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every benchmark, in about thirty minutes: bash bench/run.sh
# Builds what is missing, then measures; the figures go to build/bench/results.md.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh bench/packages.txt
cmake --build build --parallel "$(nproc)" --target station_bench preroll_bench minimal_station web_bench change_bench

work=$(mktemp -d)
xvfb=
cleanup() {
    [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
    jobs -p | xargs -r kill 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# A display of its own for the window measurements.
for n in $(seq 90 190); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.05; done
export DISPLAY=":$n"

bench=build/bench/station_bench
out=build/bench/results.md
{
    echo "# Benchmark run of $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo
    echo "Commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown);" \
        "$(nproc) cores of $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1);" \
        "$(free -g | awk '/^Mem:/ {print $2}') GiB; $(. /etc/os-release && echo "$PRETTY_NAME")."
} >"$out"

# Idling runs beside everything else: it costs the others nothing, and the time is the budget's
# largest part. IDLE_SECONDS=600 gives the full ten minutes, at the cost of the budget.
"$bench" idle "${IDLE_SECONDS:-540}" >"$work/idle.md" &
idle=$!

"$bench" gaps 200 >>"$out"
"$bench" gaps 50 --mp3 >>"$out"
"$bench" gaps 30 --baseline >>"$out"
{
    echo
    echo "A change heard, and the release after a clip's last sample (player alone, fake output)"
    echo
    build/bench/change_bench 10
} >>"$out"
"$bench" trigger 10 >>"$out"
"$bench" trigger 10 --baseline >>"$out"
for kind in "" "--window"; do
    "$bench" startup 10 $kind >>"$out"
    "$bench" startup 10 $kind --baseline >>"$out"
done

# The voices: a full build on every core and on one (the baseline), one table changed, nothing
# changed (against nothing changed in the whole tree).
seconds() {
    local start
    start=$(date +%s.%N)
    "$@" >/dev/null
    awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { print a - b }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
stamps=(build/voices/*.stamp)
rm -f "${stamps[@]}"
full=$(seconds cmake --build build --target voices --parallel "$(nproc)")
rm -f "${stamps[@]}"
serial=$(seconds cmake --build build --target voices --parallel 1)
touch voices/es.tsv
one=$(seconds cmake --build build --target voices)
none=$(seconds cmake --build build --target voices)
tree=$(seconds cmake --build build)
{
    echo
    echo "voice build: 3 voices, 142 files each"
    echo
    echo "| build | s | baseline | s | ratio |"
    echo "|---|---|---|---|---|"
    printf '| all three, %s jobs | %.2f | all three, 1 job | %.2f | %.2f |\n' "$(nproc)" "$full" "$serial" "$(ratio "$full" "$serial")"
    printf '| one table changed | %.2f | all three | %.2f | %.2f |\n' "$one" "$full" "$(ratio "$one" "$full")"
    printf '| nothing changed | %.3f | whole tree, nothing changed | %.3f | %.2f |\n' "$none" "$tree" "$(ratio "$none" "$tree")"
} >>"$out"

{
    echo
    echo "DTMF talk-off"
    echo
    echo "| speech | false digits |"
    echo "|---|---|"
    bash bench/talkoff.sh 120
} >>"$out"

wait "$idle"
cat "$work/idle.md" >>"$out"
# The station page, after the idle run so that its pages do not share the machine with it.
{
    echo
    echo "station page"
    build/bench/web_bench latency 50
    build/bench/web_bench rps 10
    build/bench/web_bench idle 60
} >>"$out"
# After the idle run, which must not hear the sound server's work.
{
    echo
    echo "PulseAudio, a null sink recorded from its monitor"
    echo
    bash bench/pulse.sh "${PULSE_ANNOUNCEMENTS:-200}" "${PULSE_LONG_ANNOUNCEMENTS:-5}"
} >>"$out"
cat "$out"
