#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and starts Tempovox; without a reachable display it runs headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/tempovox "$@"
