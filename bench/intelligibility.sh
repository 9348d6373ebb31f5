#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How well a speech recognizer understands each candidate English voice, in about twenty minutes
# on two cores: bash bench/intelligibility.sh [ENGINE:VOICE:PACE ...]
# Runs alone, not from run.sh (it needs no build); the table goes to
# build/bench/intelligibility.md, with every clip and announcement that the grammar misheard.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh scripts/packages.txt bench/packages.txt
mkdir -p build/bench
python3 bench/intelligibility.py build/bench/intelligibility.md "$@"
