#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints the program's lines, the tests' lines and their ratio, counting tracked C++ sources and
# headers, scripts, CMake files and the station page's HTML, CSS and JavaScript, blank and
# comment-only lines left out. bench/ is neither.
# With --max R it exits 1 when the ratio is above R.
set -euo pipefail
cd "$(dirname "$0")/.."

kinds() {
    for folder in "$@"; do
        printf '%s\n' "$folder/*.cpp" "$folder/*.h" "$folder/*.hpp" "$folder/*.sh" "$folder/*.py" \
            "$folder/CMakeLists.txt" "$folder/*.cmake" "$folder/*.js" "$folder/*.html" "$folder/*.css"
    done
}
# Lines that hold more than a comment: //, # (not #include and friends, which start "#i" etc.).
count() {
    git ls-files -z -- "$@" | xargs -0 -r cat | grep -cvE '^\s*(//.*|#( .*)?|#!.*)?$' || true
}

mapfile -t program < <(kinds app announce playback media link schedule voices web)
mapfile -t tests < <(kinds tests fuzz)
code=$(($(count "${program[@]}") + $(count main.cpp)))
test=$(count "${tests[@]}")
ratio=$(awk -v t="$test" -v c="$code" 'BEGIN { printf "%.2f", c ? t / c : 0 }')
echo "program lines: $code"
echo "test lines:    $test"
echo "ratio:         $ratio"

if [[ ${1:-} == --max ]]; then
    if awk -v r="$ratio" -v m="$2" 'BEGIN { exit !(r > m) }'; then
        echo "test-ratio: the tests are more than $2 of the program's size" >&2
        exit 1
    fi
fi
