#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Redraws docs/screenshots/main-window*.png from build/tempovox, one per language, on a private
# X server, and the station page's web-desktop.png and web-phone.png in headless chromium. Run by
# hand after the window or the page changes; needs xvfb, imagemagick, chromium and its driver.
set -euo pipefail
cd "$(dirname "$0")/.."
program=$PWD/build/tempovox
[[ -x $program ]] || { echo "screenshots: build/tempovox is missing; run scripts/setup.sh" >&2; exit 1; }

scratch=$(mktemp -d)
server=
cleanup() {
    [[ -n $server ]] && kill "$server" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
server=$!
read -r -t 10 -u "$fd" number || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$number

# A fresh settings file that plays into nothing, so that no sound device is needed.
mkdir -p "$scratch/config" "$scratch/runtime"
chmod 0700 "$scratch/runtime"
printf '[AUDIO]\nSINK=fakesink sync=true\n' >"$scratch/config/Tempovox.ini"

shoot() {
    local language=$1 out=$2
    # The server resets when its last client leaves; wait until it takes connections again.
    sleep 1
    env LANGUAGE="$language" HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" \
        XDG_RUNTIME_DIR="$scratch/runtime" "$program" 2>"$scratch/stderr" &
    local pid=$!
    sleep 3
    import -window root "$scratch/root.png"
    kill -TERM "$pid"
    wait "$pid" || { echo "screenshots: tempovox ($language) failed: $(cat "$scratch/stderr")" >&2; exit 1; }
    # No window manager: the window alone on a black screen, cut out.
    convert "$scratch/root.png" -trim +repage "$out"
    echo "screenshots: $out"
}
shoot pt_BR docs/screenshots/main-window.png
shoot en docs/screenshots/main-window-en.png
shoot es docs/screenshots/main-window-es.png
# The station page needs no X server: the browser test's harness shoots it.
/usr/bin/python3 scripts/web-screenshots.py "$program" docs/screenshots
echo "screenshots: docs/screenshots/web-desktop.png docs/screenshots/web-phone.png"
