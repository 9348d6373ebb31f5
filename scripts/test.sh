#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
# The suite stays a fraction of the program's size.
scripts/test-ratio.sh --max 0.35
elapsed() { echo "test.sh: $1 after ${SECONDS} s"; }
scripts/setup.sh
elapsed "set-up and build"
# Tests never touch the operator's real settings or runtime folders.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 0700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen
# The suites mostly wait on real-time audio and leave a core idle: the sanitizer build takes it,
# at the lowest priority so that the suites' timing is not disturbed.
nice -n 19 scripts/sanitizers.sh --build-only >"$scratch/sanitizer-build.log" 2>&1 &
sanitizer_build=$!
trap 'kill "$sanitizer_build" 2>/dev/null || true; rm -rf "$scratch"' EXIT
ctest --test-dir build --output-on-failure --parallel "$(nproc)" "$@"
elapsed "test suites"
wait "$sanitizer_build" || { cat "$scratch/sanitizer-build.log" >&2; exit 1; }
# The unit suites again under AddressSanitizer and UBSan, then both fuzzers for 20 s side by side
# (a minute each has found nothing since they were written).
scripts/sanitizers.sh
elapsed "sanitizer build and run"
scripts/fuzz.sh 20
elapsed "fuzzers"
