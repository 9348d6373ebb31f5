#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# and runs the unit suites there: any report, leaks included, fails the test that made it.
# Extra arguments go to ctest (e.g. -R Profile). Needs what scripts/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang and its sanitizer runtimes, when missing (they are in the project's package list).
bash scripts/install-packages.sh scripts/packages.txt

flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
# -O1 keeps the build and the instrumented tests quick; asserts stay on.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-asan --parallel "$(nproc)"

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
# The unit suites only: the suites that drive the built program as a process, time it or run for
# minutes are covered by the ordinary build.
ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)" \
    -LE "system|e2e|voices|slow|reliability|soak|packaging" "$@"
