#!/usr/bin/env bash
# Builds the Debian package from a finished build, checks what it holds and declares, then
# runs the program from the unpacked files (never installing anything on this system).
#
#   check-package.sh BUILD_DIR VERSION [CPACK]
set -uo pipefail
build=${1:?usage: check-package.sh BUILD_DIR VERSION [CPACK]}
version=${2:?usage: check-package.sh BUILD_DIR VERSION [CPACK]}
cpack=${3:-cpack}

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
skip() { echo "SKIP: $*"; }
finish() {
    ((failures == 0)) && echo "package checks passed" || echo "$failures package checks failed" >&2
    exit $((failures != 0))
}

scratch=$(mktemp -d)
pid=
peer=
cleanup() {
    [[ -n $pid ]] && kill -KILL "$pid" 2>/dev/null
    [[ -n $peer ]] && kill -KILL "$peer" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# --- Build the package -------------------------------------------------------------------
# gzip rather than the release's xz: the same contents in a third of the time.
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
    -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack could not build the package"
    finish
fi
debs=("$scratch"/out/*.deb)
if ((${#debs[@]} != 1)) || [[ ! -f ${debs[0]} ]]; then
    fail "cpack made ${#debs[@]} packages, expected one: ${debs[*]}"
    finish
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "tempovox_${version}_${arch}.deb" ]] || fail "package file named $(basename "$deb")"

# --- Control fields ------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == tempovox ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), project $version"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
# Plugins are named by hand; the libraries must have come from dpkg-shlibdeps.
for needed in gstreamer1.0-plugins-base gstreamer1.0-plugins-good libgstreamer1.0-0 libqt6widgets6 libc6; do
    [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] ||
        fail "Depends lacks $needed: '$depends'"
done

# --- Contents ------------------------------------------------------------------------------
# Names relative to the root; symbolic links as "name -> target"; directories left out.
dpkg-deb -c "$deb" >"$scratch/listing" || fail "dpkg-deb -c cannot read the package"
listing=$(awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ *\.\//, ""); print }' "$scratch/listing")
owners=$(awk '$2 != "root/root" { print $6 }' "$scratch/listing")
[[ -z $owners ]] || fail "not owned by root: $owners"

lib=usr/lib/tempovox
required=(
    "usr/bin/tempovox -> ../lib/tempovox/tempovox"
    "$lib/tempovox"
    "$lib/README.md"
    "$lib/docs/voices.md"
    "$lib/docs/link-protocol.md"
    "$lib/docs/operator-guide.md"
    "$lib/docs/screenshots/main-window.png"
    usr/lib/systemd/user/tempovox.service
    usr/share/applications/tempovox.desktop
)
for size in 48 64 128 256; do required+=("usr/share/icons/hicolor/${size}x${size}/apps/tempovox.png"); done
stems=(Blank DingDong DingDong2 GoodMorning GoodEvening GoodAfternoon TheTimeIs Hour Minutes AM PM)
for n in {0..59}; do stems+=("$(printf '%02d' "$n")"); done
for voice in US_Kate Español brasil; do
    for stem in "${stems[@]}"; do required+=("$lib/WavFiles/$voice/$stem.wav" "$lib/WavFiles/$voice/$stem.mp3"); done
done
((${#required[@]} == 9 + 4 + 3 * 142)) || fail "the test's own list is wrong: ${#required[@]} entries"

missing=$(LC_ALL=C comm -23 <(printf '%s\n' "${required[@]}" | LC_ALL=C sort) <(LC_ALL=C sort <<<"$listing"))
[[ -z $missing ]] || fail "missing from the package:"$'\n'"$missing"
# Anything else would be a stray install rule (a test program, a library, a half-made voice).
extra=$(LC_ALL=C comm -13 <(printf '%s\n' "${required[@]}" | LC_ALL=C sort) <(LC_ALL=C sort <<<"$listing") |
    grep -Ev "^$lib/docs/[^/]+\.md$|^$lib/docs/screenshots/[^/]+\.png$")
[[ -z $extra ]] || fail "unexpected in the package:"$'\n'"$extra"

mode() { awk -v f="./$1" '$6 == f { print $1 }' "$scratch/listing"; }
[[ $(mode "$lib/tempovox") == -rwxr-xr-x ]] || fail "$lib/tempovox has mode $(mode "$lib/tempovox")"
for f in usr/lib/systemd/user/tempovox.service usr/share/applications/tempovox.desktop "$lib/WavFiles/brasil/00.wav"; do
    [[ $(mode "$f") == -rw-r--r-- ]] || fail "$f has mode $(mode "$f")"
done

# --- Unpack into a private root --------------------------------------------------------------
root=$scratch/root
dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x failed"; finish; }
[[ -x $root/usr/bin/tempovox ]] || fail "usr/bin/tempovox does not lead to an executable"
for voice in US_Kate Español brasil; do
    [[ -d $root/$lib/WavFiles/$voice ]] || continue
    empty=$(find "$root/$lib/WavFiles/$voice" -type f -empty -printf '%f ')
    [[ -z $empty ]] || fail "$voice: empty clips: $empty"
done

# --- Desktop entry and user unit -------------------------------------------------------------
desktop=$root/usr/share/applications/tempovox.desktop
if command -v desktop-file-validate >/dev/null; then
    # Hints are advice; warnings and errors are faults.
    problems=$(desktop-file-validate "$desktop" 2>&1 | grep -Ev ': hint: ')
    [[ -z $problems ]] || fail "desktop-file-validate: $problems"
else
    skip "desktop-file-validate not installed (Debian package desktop-file-utils)"
fi
# The menu entry must start the packaged command and show the packaged icon.
command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ -n $command && -x $root/usr/bin/$command ]] || fail "the desktop entry runs '$command', not in usr/bin"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -n $icon && -f $root/usr/share/icons/hicolor/48x48/apps/$icon.png ]] || fail "the desktop entry's icon '$icon' is not packaged"

unit=$root/usr/lib/systemd/user/tempovox.service
# The service has no display: it must run the packaged command headless.
start=$(sed -n 's/^ExecStart=//p' "$unit")
[[ -x $root${start%% *} && " $start " == *" --headless "* ]] || fail "the unit runs '$start'"
grep -qx 'WantedBy=default.target' "$unit" || fail "the unit is not wanted by default.target"
if command -v systemd-analyze >/dev/null; then
    # Verified as it stands except for the program's path, which exists here only unpacked.
    mkdir -p "$scratch/unit" "$scratch/verify-runtime"
    chmod 0700 "$scratch/verify-runtime"
    sed "s|^ExecStart=/usr/bin/tempovox|ExecStart=$root/usr/bin/tempovox|" "$unit" >"$scratch/unit/tempovox.service"
    # Unknown keys are only warned about, so any word on the unit counts as a fault.
    XDG_RUNTIME_DIR=$scratch/verify-runtime XDG_CONFIG_HOME=$scratch/verify-config \
        systemd-analyze --user verify "$scratch/unit/tempovox.service" >"$scratch/verify.log" 2>&1
    status=$?
    problems=$(grep -F tempovox.service "$scratch/verify.log")
    ((status == 0)) && [[ -z $problems ]] || fail "systemd-analyze verify ($status): $(cat "$scratch/verify.log")"
else
    skip "systemd-analyze not installed: the unit was not verified"
fi

# --- The unpacked program --------------------------------------------------------------------
program=$root/$lib/tempovox
out=$("$program" --version 2>/dev/null)
[[ $out == "Tempovox $version" ]] || fail "--version printed '$out'"
out=$("$program" --help 2>/dev/null)
[[ $out == *--headless* && $out == *--version* ]] || fail "--help printed '$out'"

# Started through the link in usr/bin, so that the voices are found only if the program
# looks beside its real file. Plays into nothing in real time.
home=$scratch/home
mkdir -p "$home/config" "$home/cache" "$home/runtime"
chmod 0700 "$home/runtime"
printf '[AUDIO]\nSINK=fakesink sync=true\n' >"$home/config/Tempovox.ini"
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/runtime" "$root/usr/bin/tempovox" --headless >"$scratch/stdout" 2>"$scratch/stderr" &
pid=$!
socket=$home/runtime/tempovox/link.sock
for _ in {1..300}; do
    [[ -S $socket ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [[ ! -S $socket ]]; then
    fail "no link socket at $socket after start-up; stderr: $(cat "$scratch/stderr")"
    finish
fi

if command -v socat >/dev/null; then
    # The window applies the chosen language's folder on its first timer tick after start.
    sleep 0.5
    printf 'DTMF 123\n' >"$scratch/request"
    socat -,ignoreeof "UNIX-CONNECT:$socket" <"$scratch/request" >"$scratch/replies" 2>"$scratch/socat.err" &
    peer=$!
    for _ in {1..50}; do
        grep -qx 'PTT 1' "$scratch/replies" && break
        sleep 0.1
    done
    # A clip that cannot be found releases the transmitter at once; found ones keep it keyed.
    sleep 1
    grep -qx 'PTT 1' "$scratch/replies" || fail "DTMF 123 did not key the transmitter: $(cat "$scratch/replies")"
    sed -n '/^PTT 1$/,$p' "$scratch/replies" | grep -qx 'PTT 0' &&
        fail "the announcement ended at once: a clip was not found or not played"
else
    skip "socat not installed: the announcement through the link was not tried"
fi

kill -TERM "$pid"
status=
for _ in {1..100}; do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        status=$?
        pid=
        break
    fi
    sleep 0.1
done
[[ $status == 0 ]] || fail "after SIGTERM the exit status is '${status:-still running}'"
if [[ -n $peer ]]; then
    for _ in {1..50}; do kill -0 "$peer" 2>/dev/null || break; sleep 0.1; done
    [[ $(tail -n 1 "$scratch/replies") == 'PTT 0' ]] ||
        fail "the transmitter was not released on SIGTERM: $(tail -n 3 "$scratch/replies" | tr '\n' '|')"
fi
[[ ! -s $scratch/stderr ]] || fail "the program complained: $(cat "$scratch/stderr")"

finish
