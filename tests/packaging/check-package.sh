#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a finished build, checks what it holds, lets lintian judge it
# where lintian is installed, and runs the program from the unpacked files (nothing is installed).
#   check-package.sh BUILD_DIR VERSION [CPACK]
set -uo pipefail
build=${1:?usage: check-package.sh BUILD_DIR VERSION [CPACK]}
version=${2:?}
cpack=${3:-cpack}
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# gzip rather than the release's xz: the same contents in a third of the time.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; exit 1; }
deb=$scratch/out/tempovox_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "FAIL: no $deb: $(ls "$scratch/out")" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
for needed in gstreamer1.0-plugins-base gstreamer1.0-plugins-good libqt6widgets6 libc6; do
    [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

lib=usr/lib/tempovox
root=$scratch/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/tempovox "$lib/tempovox" "$lib/docs/operator-guide.md" usr/lib/systemd/user/tempovox.service \
    usr/share/applications/tempovox.desktop usr/share/icons/hicolor/48x48/apps/tempovox.png; do
    [[ -e $root/$file ]] || fail "missing from the package: $file"
done
for voice in US_Kate Español brasil; do
    count=$(find "$root/$lib/WavFiles/$voice" -type f -size +0 | wc -l)
    ((count == 142)) || fail "$voice holds $count clips that are not empty, not 142"
done
[[ -z $(dpkg-deb -c "$deb" | awk '$2 != "root/root"') ]] || fail "files not owned by root"
if command -v lintian >/dev/null; then
    lintian --allow-root --fail-on error,warning "$deb" >&2 || fail "lintian"
fi
command -v desktop-file-validate >/dev/null &&
    { desktop-file-validate "$root/usr/share/applications/tempovox.desktop" 2>&1 | grep -v ': hint: ' >&2 && fail "desktop entry"; }
[[ $("$root/$lib/tempovox" --version 2>/dev/null) == "Tempovox $version" ]] || fail "--version"

# The unpacked program starts headless, answers a DTMF request and releases on SIGTERM.
home=$scratch/home
mkdir -p "$home/config" "$home/runtime" && chmod 0700 "$home/runtime"
printf '[AUDIO]\nSINK=fakesink sync=true\n' >"$home/config/Tempovox.ini"
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
    "$root/usr/bin/tempovox" --headless 2>"$scratch/stderr" &
pid=$!
socket=$home/runtime/tempovox/link.sock
for _ in {1..100}; do [[ -S $socket ]] && break; sleep 0.1; done
(echo 'DTMF 123'; sleep 2) | socat - "UNIX-CONNECT:$socket" >"$scratch/replies" &
peer=$!
sleep 1
kill -TERM "$pid"
wait "$pid" || fail "exit status $? after SIGTERM"
wait "$peer"
grep -qx 'PTT 1' "$scratch/replies" || fail "DTMF 123 did not key the transmitter: $(cat "$scratch/replies")"
[[ $(tail -n 1 "$scratch/replies") == 'PTT 0' ]] || fail "not released on SIGTERM: $(tail -n 2 "$scratch/replies")"
# The lines a clean run writes: the station page's address and the DTMF request it heard.
grep -qx 'tempovox.app: DTMF heard: 123 (matches DTMFTIME)' "$scratch/stderr" || fail "the DTMF request was not logged"
complaints=$(grep -v -e '^tempovox: station page ' -e '^tempovox.app: DTMF heard: 123 (matches DTMFTIME)$' \
    "$scratch/stderr" || true)
[[ -z $complaints ]] || fail "the program complained: $complaints"
((failures == 0)) && echo "package checks passed" || exit 1
