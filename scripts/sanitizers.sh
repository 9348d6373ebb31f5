#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the unit suites and the fuzzers with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ and runs the unit suites there: any report, leaks included, fails the run.
# With --build-only it only builds (scripts/fuzz.sh runs the fuzzers from the same build).
# Needs what scripts/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang and its sanitizer runtimes, when missing (they are in the project's package list).
bash scripts/install-packages.sh scripts/packages.txt

units=(announce_tests schedule_tests app_tests link_tests playback_tests web_tests profile_fuzz_replay link_fuzz_replay)
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
# -O1 keeps the build and the instrumented tests quick; asserts stay on. A unity build parses
# Qt's headers once per target instead of once per file, a third of the build's time; the
# ordinary build, file by file, is the one that catches a missing include.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DTEMPOVOX_FUZZ=ON \
    -DCMAKE_UNITY_BUILD=ON \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
# Only what runs here: not the program, its voices or the suites that drive it as a process.
targets=("${units[@]}" profile_fuzzer link_protocol_fuzzer)
if grep -q 'TEMPOVOX_HAVE_HAMLIB:INTERNAL=ON' build-asan/CMakeCache.txt; then
    units+=(hamlib_tests)
    targets+=(hamlib_tests)
fi
cmake --build build-asan --parallel "$(nproc)" --target "${targets[@]}"
[[ ${1:-} == --build-only ]] && exit 0

# Tests never touch the operator's real settings or runtime folders.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 0700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen
# Stop at the first report with a failing exit status, whatever the test expected of the exit.
# Allocation stacks are unwound without frame pointers too, so that a leak inside a library
# built without them still shows who called it (see scripts/lsan.supp).
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
# Each suite in one process: the translation test comes last in its suite.
failed=0
for unit in "${units[@]}"; do
    executable=$(find build-asan -name "$unit" -type f -executable | head -n 1)
    case $unit in
    profile_fuzz_replay) args=(fuzz/corpus/profile) ;;
    link_fuzz_replay) args=(fuzz/corpus/link) ;;
    *) args=(--gtest_brief=1) ;;
    esac
    if "$executable" "${args[@]}" >"$scratch/$unit.log" 2>&1; then
        echo "sanitizers: $unit passed"
    else
        failed=1
        echo "sanitizers: $unit FAILED" >&2
        tail -n 60 "$scratch/$unit.log" >&2
    fi
done
exit "$failed"
