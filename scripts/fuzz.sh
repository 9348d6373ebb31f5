#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzzers into build-asan/ and runs each for a bounded time, side by side, from a
# copy of its seed corpus (the repository is left as it was). A crash, a hang or a broken
# property fails the run; the input that did it is kept in build-asan/findings/.
# Usage: scripts/fuzz.sh [seconds per fuzzer, default 60]. Needs what scripts/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds per fuzzer]" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The fuzzers share the sanitizer build.
bash scripts/sanitizers.sh --build-only
mkdir -p build-asan/findings

# NAME CORPUS MAX_LEN: runs build-asan/fuzz/NAME in the background, its output in $work/NAME.log.
start() {
    local name=$1 corpus=$2 max_len=$3
    mkdir -p "$work/$name"
    cp -R "fuzz/corpus/$corpus/." "$work/$name/"
    build-asan/fuzz/"$name" "$work/$name" -max_total_time="$seconds" -max_len="$max_len" \
        -dict="fuzz/$corpus.dict" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="build-asan/findings/$name-" >"$work/$name.log" 2>&1 &
}

failed=0
# A line over the protocol's limit (4096 bytes) and another after it need room.
declare -A fuzzers=([profile_fuzzer]="profile 4096" [link_protocol_fuzzer]="link 12000")
declare -A pids=()
for name in "${!fuzzers[@]}"; do
    start "$name" ${fuzzers[$name]}
    pids[$name]=$!
done
for name in "${!fuzzers[@]}"; do
    if wait "${pids[$name]}"; then
        result=ok
    else
        result=FAILED
        failed=1
    fi
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$name.log" | tail -n 1 || true)
    execs=$(grep -F 'stat::number_of_executed_units' "$work/$name.log" | awk '{print $2}' || true)
    per_second=$(grep -F 'stat::average_exec_per_sec' "$work/$name.log" | awk '{print $2}' || true)
    echo "fuzz: $name $result: ${execs:-?} runs, ${per_second:-?}/s; ${done_line:-no summary}"
    if [[ $result == FAILED ]]; then
        tail -n 60 "$work/$name.log" >&2
        echo "fuzz: the failing input is in build-asan/findings/ (replay: build-asan/fuzz/$name FILE)" >&2
    fi
done
exit "$failed"
