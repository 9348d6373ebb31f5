#!/usr/bin/env bash
# Sets up, builds and starts Tempovox; without a reachable display it runs headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/tempovox "$@"
