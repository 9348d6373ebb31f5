#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages named in the given lists (one per line, # for comments) that are
# not installed yet; does nothing when all are there.
set -euo pipefail

missing=()
while read -r package; do
    [[ -z "$package" || "$package" == \#* ]] && continue
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done < <(cat "$@")

if ((${#missing[@]})); then
    echo "install-packages: installing ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "install-packages: these Debian packages are missing; run as root or install them: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
