#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing from Debian's packages, then configures and builds into build/.
# Extra package lists (such as bench/packages.txt) may be named as arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh scripts/packages.txt "$@"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build build --parallel "$(nproc)"
