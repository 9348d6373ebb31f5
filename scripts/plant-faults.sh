#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Plants one plausible fault at a time in a scratch copy of this tree, rebuilds, runs the CTest
# suites and reports whether they caught it. Run by hand, like the benchmarks; not part of CI.
# Usage: scripts/plant-faults.sh [-k] [NUMBER ...]   (-k keeps the scratch copy; NUMBERs pick faults)
# Needs what scripts/setup.sh installs. Results also go to plant-faults.log in the scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

keep=0
if [[ ${1:-} == -k ]]; then
    keep=1
    shift
fi

# Each fault: file <TAB> text as it is <TAB> text as planted <TAB> what a developer got wrong.
# The text must occur exactly once in the file; \n stands for a line break.
faults=$(
    cat <<'TABLE'
schedule/ClockScheduler.cpp	{0, 15, 30, 45}	{0, 15, 30, 44}	quarter to the hour a minute early
schedule/ClockScheduler.cpp	p_.panel.HalfHour() == 1	p_.panel.HalfHour() >= 1	a greyed half-hour box announces
schedule/ClockScheduler.cpp	LinkBusy().value_or(true)	LinkBusy().value_or(false)	an unreadable busy state counts as free
schedule/ClockScheduler.cpp	hour % 12 == 0 ? 12 : hour % 12	hour % 12 == 0 ? 0 : hour % 12	12-hour form says 00 at noon
schedule/ClockScheduler.cpp	hour < 12 ? QStringLiteral("AM")	hour <= 12 ? QStringLiteral("AM")	noon is AM
announce/Composer.cpp	hour >= 18 && hour <= 23	hour >= 19 && hour <= 23	no greeting at 18 h
announce/Composer.cpp	p_.panel.AMPM() == 0 ? VoiceLibrary::Blank	p_.panel.AMPM() != 0 ? VoiceLibrary::Blank	AM/PM box inverted
announce/Composer.cpp	longChain ? Step::MinuteWord : Step::Final	Step::Final	long chain skips "Minutes"
announce/Composer.cpp	p_.panel.OptionWAV() ? QStringLiteral(".wav") : QStringLiteral(".mp3")	p_.panel.OptionWAV() ? QStringLiteral(".mp3") : QStringLiteral(".wav")	format choice inverted
announce/Composer.cpp	    EndAnnouncement();\n	\n	failed load leaves the announcement running
schedule/Announcer.cpp	Start(Step::TheTimeIs);	Start(Step::Preamble);	DTMF answer repeats the preamble
playback/Sequencer.cpp	p_.player.applyVolume(p_.panel.V1());	;	next clip ignores the volume bar
playback/Sequencer.cpp	p_.panel.V2() / 100.0	p_.panel.V2() / 10.0	speed bar read as tenths
playback/Sequencer.cpp	    p_.state.AnnounceBusy = 0;\n	\n	chain change leaves the announcement busy
link/TransmitKeying.cpp	clipEnded && announceBusy == 0	clipEnded || announceBusy == 0	watchdog releases mid-announcement
link/TransmitKeying.cpp	>= qint64(timeout_.seconds) * 1000	> qint64(timeout_.seconds) * 1000	transmit time-out one step late
link/TransmitKeying.cpp	!keyedSinceMs_ && timeout_.seconds > 0	timeout_.seconds > 0	every key restarts the transmit time-out
link/TransmitKeying.cpp	if (!keyedSinceMs_ && timeout_.seconds > 0)	if (!keyedSinceMs_ && timeout_.seconds >= 0)	TX_TIMEOUT=0 releases at once
app/Form1.cpp	const bool matches = text == ui_->DTMFTime->text();	const bool matches = text.trimmed() == ui_->DTMFTime->text();	DTMF code matched with blanks trimmed
link/DtmfDecoder.cpp	SampleRate / 1000	SampleRate / 100	DTMF gap ten times too long
link/LinkProtocol.cpp	if (content > MaxLineBytes)	if (content >= MaxLineBytes)	longest allowed line refused
link/LinkProtocol.cpp	        line.chop(1);\n	\n	CR LF lines not understood
link/SocketLink.cpp	std::any_of(clients_.cbegin()	std::all_of(clients_.cbegin()	busy only when every peer is busy
app/SettingsFile.cpp	{"QUARTERHOUR", "1",	{"QUARTERHOUR", "0",	wrong default for the quarter hours
app/SettingsFile.cpp	whole < min || whole > max	whole <= min || whole > max	lowest value of a range refused
app/Profile.cpp	firstCharacters(value, MaxValueCharacters)	firstCharacters(value, MaxValueCharacters + 1)	values cut one character late
playback/GstGraph.cpp	hundredthsOfDb / 100.0	hundredthsOfDb / 10.0	volume in the wrong unit
playback/GstGraph.cpp	        return duration_;	        return position_;	a finished clip does not read as ended
schedule/ClockScheduler.cpp	nowMs - markMs <= MaxLateMs	nowMs - markMs <= 2 * MaxLateMs	a mark a minute old still announced
schedule/ClockScheduler.cpp	        fromMs = std::max(fromMs, *lastMarkMs_);	        ;	a clock stepped back repeats a mark
link/LinkFactory.cpp	const int lock = lockStation(socketPath(settings), error != nullptr ? error : &ignored);	const int lock = ::dup(0);	the hamlib back-end takes no station lock
announce/Composer.cpp	    p_.keying.PttOff();\n    p_.state.AnnounceBusy = 0;	    p_.state.AnnounceBusy = 0;	a failed announcement left to the idle release
link/DtmfDecoder.h	int twistDb = 11;	int twistDb = -1;	DTMF twist left at the detector's own limit
TABLE
)

scratch=$(mktemp -d /tmp/tempovox-faults.XXXXXX)
[[ $keep == 1 ]] || trap 'rm -rf "$scratch"' EXIT
log="$scratch/plant-faults.log"
echo "plant-faults: scratch copy in $scratch"
mkdir "$scratch/src"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$scratch/src"
cmake -S "$scratch/src" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$scratch/build" --parallel "$(nproc)" >"$log" 2>&1 || {
    tail -n 40 "$log" >&2
    exit 1
}

mkdir -m 0700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen

# Replaces exactly one occurrence of $2 with $3 in file $1, or says why it cannot.
plant() {
    perl -0777 -i -e '
        my ($old, $new) = map { s/\\n/\n/gr } splice(@ARGV, 1, 2);
        local $_ = <>;
        my $count = () = /\Q$old\E/g;
        die "$ARGV: the text occurs $count times: $old\n" unless $count == 1;
        s/\Q$old\E/$new/;
        print;' "$@"
}

printf '%-3s %-8s %-32s %s\n' "#" result file fault | tee -a "$log"
number=0 caught=0 missed=0
while IFS=$'\t' read -r file old new what; do
    number=$((number + 1))
    if (($# > 0)) && [[ " $* " != *" $number "* ]]; then
        continue
    fi
    target="$scratch/src/$file"
    cp "$target" "$target.orig"
    plant "$target" "$old" "$new"
    if ! cmake --build "$scratch/build" --parallel "$(nproc)" >>"$log" 2>&1; then
        result=no-build
    elif ctest --test-dir "$scratch/build" --parallel "$(nproc)" --stop-on-failure --timeout 150 \
        -LE 'packaging|voices' >>"$log" 2>&1; then
        result=MISSED
        missed=$((missed + 1))
    else
        result=caught
        caught=$((caught + 1))
    fi
    mv "$target.orig" "$target"
    printf '%-3s %-8s %-32s %s\n' "$number" "$result" "$file" "$what" | tee -a "$log"
done <<<"$faults"
echo "plant-faults: $caught caught, $missed missed" | tee -a "$log"
