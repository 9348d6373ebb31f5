#include "EndToEndRun.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using e2e::Announcement;
using e2e::Mark;
using e2e::RunOptions;
using e2e::TempovoxRun;

// The transmitter is released at most this long after the last clip has ended: from the end of
// the last audio the real-time sink wrote to the arrival of PTT 0, both read by one thread and
// timed on one monotonic clock (see TempovoxRun). Reading audio late only makes the measure more
// lenient; reading PTT 0 late takes a few milliseconds off the limit.
constexpr qint64 ReleaseLimitMs = 1500;
// Audio is timed when the test reads it; allow for a late read when ordering it against a line.
constexpr qint64 ReadSlackMs = 50;
constexpr int AnnouncementTimeoutMs = 10000;

std::string joined(const QStringList& list) {
    return list.join(QLatin1Char(' ')).toStdString();
}

RunOptions options(const char* fakeStart, bool mp3,
                   std::initializer_list<std::pair<const char*, const char*>> keys) {
    RunOptions o;
    o.fakeStart = QString::fromLatin1(fakeStart);
    o.mp3 = mp3;
    for (const auto& [key, value] : keys)
        o.settings.append({QString::fromLatin1(key), QString::fromLatin1(value)});
    return o;
}

QStringList clips(const char* list) {
    return QString::fromLatin1(list).split(QLatin1Char(' '));
}

void expectReleasedInTime(const Announcement& a) {
    ASSERT_TRUE(a.pttOnMs && a.pttOffMs && a.audioEndMs) << a.log.toStdString();
    EXPECT_TRUE(a.keyedBeforeAudio) << "audio before PTT 1\n" << a.log.toStdString();
    EXPECT_LE(*a.audioEndMs, *a.pttOffMs + ReadSlackMs) << "released while speaking\n" << a.log.toStdString();
    EXPECT_LE(*a.pttOffMs - *a.audioEndMs, ReleaseLimitMs) << "released late\n" << a.log.toStdString();
}

// The silences between clips go to the test report, never into an assertion: they are
// benchmarked (bench/run.sh), not tested.
void reportSilences(const Announcement& a) {
    if (a.silencesMs.empty())
        return;
    const auto [least, most] = std::minmax_element(a.silencesMs.begin(), a.silencesMs.end());
    ::testing::Test::RecordProperty(
        "silence_between_clips_ms",
        QStringLiteral("%1 to %2").arg(*least, 0, 'f', 1).arg(*most, 0, 'f', 1).toStdString());
}

void expectAnnouncement(const Announcement& a, const QStringList& expected) {
    reportSilences(a);
    EXPECT_EQ(joined(e2e::stemsOf(a.heard)), joined(expected)) << a.log.toStdString();
    expectReleasedInTime(a);
}

// Until the clock's first tick the hour and minute fields hold their layout texts "HH" and "MM".
void waitForFirstClockTick(TempovoxRun& run) {
    run.waitFor([&] { return run.nowMs() - run.readyMs() > 1300; }, 2000);
}

// Requests the time by DTMF and follows the announcement until the transmitter is released.
Announcement announceByDtmf(TempovoxRun& run) {
    waitForFirstClockTick(run);
    const Mark mark = run.mark();
    run.send("DTMF 123");
    EXPECT_TRUE(run.waitForRelease(mark, AnnouncementTimeoutMs)) << run.logSince(mark).toStdString();
    return run.announcementSince(mark);
}

void expectClosesOnRequest(TempovoxRun& run) {
    const Mark mark = run.mark();
    run.send("CLOSE");
    ASSERT_TRUE(run.waitForLinkClosed(5000)) << run.logSince(mark).toStdString();
    QStringList lines = run.linesSince(mark);
    // Idle repeats of PTT 0 may come first; the answer is a release, then the acknowledgement.
    while (lines.size() > 2 && lines.first() == QLatin1String("PTT 0"))
        lines.removeFirst();
    EXPECT_EQ(joined(lines), "PTT 0 ACK") << run.logSince(mark).toStdString();
    EXPECT_EQ(run.waitForExit(5000), 0);
}

TEST(EndToEnd, ShortChainWithBellInWavAndAMissingClip) {
    TempovoxRun run(options("2026-01-05 09:41:05", false,
                            {{"CHECK1", "0"},
                             {"CHECK2", "1"},
                             {"OPTION5", "True"},
                             {"OPTION6", "False"},
                             {"OPTION9", "False"},
                             {"QUARTERHOUR", "0"},
                             {"HALFHOUR", "0"},
                             {"ONHOUR", "0"}}));
    QString error;
    ASSERT_TRUE(run.start(&error)) << error.toStdString();

    // The first call after start-up loads only the preamble, and the chain goes on after it.
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "first announcement" : "second announcement");
        expectAnnouncement(announceByDtmf(run), clips("DingDong TheTimeIs 09 41 Blank"));
    }

    const QString missing = run.voiceFolder() + QStringLiteral("41.wav");
    ASSERT_TRUE(QFile::remove(missing));
    {
        SCOPED_TRACE("minute clip missing");
        const Announcement broken = announceByDtmf(run);
        expectAnnouncement(broken, clips("DingDong TheTimeIs 09"));
        const QStringList errors = run.errorLines().filter(QStringLiteral("Voice File Missing"));
        ASSERT_EQ(errors.size(), 1) << run.errorLines().join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(errors.first().startsWith(
            QLatin1String("Render error no rendering device found. (Voice File Missing)")))
            << errors.first().toStdString();
        EXPECT_TRUE(errors.first().contains(missing)) << errors.first().toStdString();
    }
    {
        // The voice is now the program's own English one: speech, not tones. That it was used is
        // shown by the absence of a second failure, as the test voice still lacks the clip.
        SCOPED_TRACE("request after the failure");
        const Announcement after = announceByDtmf(run);
        ASSERT_TRUE(after.pttOnMs && after.pttOffMs && after.audioEndMs) << after.log.toStdString();
        EXPECT_GE(*after.audioEndMs - *after.firstAudioMs, 1000) << after.log.toStdString();
        EXPECT_EQ(run.errorLines().filter(QStringLiteral("Voice File Missing")).size(), 1)
            << run.errorLines().join(QLatin1Char('\n')).toStdString();
        expectReleasedInTime(after);
    }
    expectClosesOnRequest(run);
}

TEST(EndToEnd, LongChainWithGreetingIn12HourFormThenTermination) {
    TempovoxRun run(options("2026-01-05 21:41:05", false,
                            {{"CHECK1", "1"},
                             {"CHECK2", "1"},
                             {"OPTION5", "False"},
                             {"OPTION6", "False"},
                             {"OPTION9", "True"},
                             {"OPTION1", "True"},
                             {"OPTION2", "False"},
                             {"AMPM", "1"},
                             {"QUARTERHOUR", "0"},
                             {"HALFHOUR", "0"},
                             {"ONHOUR", "0"}}));
    QString error;
    ASSERT_TRUE(run.start(&error)) << error.toStdString();

    {
        // The first call after start-up loads nothing in the long chain: it starts at "TheTimeIs".
        SCOPED_TRACE("first announcement");
        expectAnnouncement(announceByDtmf(run), clips("TheTimeIs 09 Hour 41 Minutes PM"));
    }
    {
        SCOPED_TRACE("second announcement");
        expectAnnouncement(announceByDtmf(run), clips("GoodAfternoon TheTimeIs 09 Hour 41 Minutes PM"));
    }

    const Mark mark = run.mark();
    run.send("DTMF 123");
    ASSERT_TRUE(run.waitForAudio(mark, AnnouncementTimeoutMs)) << run.logSince(mark).toStdString();
    const Mark signalled = run.mark();
    run.terminate();
    ASSERT_TRUE(run.waitForLinkClosed(5000)) << run.logSince(mark).toStdString();
    EXPECT_TRUE(run.linesSince(signalled).contains(QStringLiteral("PTT 0")))
        << run.logSince(mark).toStdString();
    EXPECT_EQ(run.waitForExit(5000), 0);
}

TEST(EndToEnd, QuarterHourAnnouncesUnlessBusyWhileDtmfAnnouncesAnyway) {
    // The fake clock starts this long before the quarter hour; the program must be up by then,
    // so a first start builds the media framework's plugin cache if it is missing.
    constexpr qint64 LeadMs = 5000;
    const char* start = "2026-01-05 14:14:55";
    {
        TempovoxRun warmUp(options("", false, {{"QUARTERHOUR", "0"}}));
        QString error;
        ASSERT_TRUE(warmUp.start(&error)) << error.toStdString();
    }

    TempovoxRun freeLink(options(start, true, {{"CHECK1", "0"}, {"CHECK2", "0"}, {"QUARTERHOUR", "1"}}));
    TempovoxRun busyLink(options(start, true, {{"CHECK1", "1"}, {"CHECK2", "0"}, {"QUARTERHOUR", "1"}}));
    QString error;
    for (TempovoxRun* run : {&freeLink, &busyLink}) {
        ASSERT_TRUE(run->start(&error)) << error.toStdString();
        ASSERT_LT(run->nowMs() - run->startedMs(), LeadMs - 1000) << "the program started too slowly to test";
    }
    busyLink.send("BUSY 1");

    {
        SCOPED_TRACE("scheduled, link free");
        ASSERT_TRUE(freeLink.waitForRelease({}, int(LeadMs) + AnnouncementTimeoutMs))
            << freeLink.logSince({}).toStdString();
        const Announcement a = freeLink.announcementSince({});
        // Without a preamble the short chain's first call after start-up plays "Blank".
        expectAnnouncement(a, clips("Blank TheTimeIs 14 15 Blank"));
        ASSERT_TRUE(a.pttOnMs);
        // Timer ticks fall anywhere in the quarter hour's second.
        EXPECT_GE(*a.pttOnMs - freeLink.startedMs(), LeadMs - 100) << a.log.toStdString();
        EXPECT_LE(*a.pttOnMs - freeLink.startedMs(), LeadMs + 1500) << a.log.toStdString();
    }
    {
        SCOPED_TRACE("scheduled, link busy");
        busyLink.waitFor([&] { return busyLink.nowMs() - busyLink.startedMs() > LeadMs + 2500; },
                         int(LeadMs) + 5000);
        const Announcement a = busyLink.announcementSince({});
        EXPECT_FALSE(a.pttOnMs) << a.log.toStdString();
        EXPECT_FALSE(a.firstAudioMs) << a.log.toStdString();
    }
    {
        // Both at once: the busy link does not hold a DTMF request back.
        SCOPED_TRACE("DTMF");
        const Mark freeMark = freeLink.mark();
        const Mark busyMark = busyLink.mark();
        freeLink.send("DTMF 123");
        busyLink.send("DTMF 123");
        EXPECT_TRUE(freeLink.waitForRelease(freeMark, AnnouncementTimeoutMs))
            << freeLink.logSince(freeMark).toStdString();
        EXPECT_TRUE(busyLink.waitForRelease(busyMark, AnnouncementTimeoutMs))
            << busyLink.logSince(busyMark).toStdString();
        expectAnnouncement(freeLink.announcementSince(freeMark), clips("TheTimeIs 14 15 Blank"));
        // The long chain's first call after start-up loads nothing: it starts at "TheTimeIs".
        expectAnnouncement(busyLink.announcementSince(busyMark), clips("TheTimeIs 14 Hour 15 Minutes Blank"));
    }
    {
        SCOPED_TRACE("DTMF again, link busy");
        expectAnnouncement(announceByDtmf(busyLink), clips("TheTimeIs 14 Hour 15 Minutes Blank"));
    }
}

// The listening itself, on a recording made here: if it fails, the tests above mean nothing.
TEST(EndToEndListening, TellsClipsApartAndLeavesOutWhatWasBarelyStarted) {
    QRandomGenerator random(7);
    QByteArray audio;
    const auto append = [&](double value) {
        char bytes[2];
        qToLittleEndian<qint16>(qint16(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0)), bytes);
        audio.append(bytes, 2);
    };
    const auto clip = [](const char* stem) {
        for (const e2e::VoiceClip& c : e2e::testVoice()) {
            if (c.stem == QLatin1String(stem))
                return c;
        }
        return e2e::VoiceClip{};
    };
    const auto play = [&](const char* stem, double extraSeconds = 0.0, double seconds = 0.0) {
        const e2e::VoiceClip c = clip(stem);
        // Clips begin anywhere relative to the analysis windows.
        const double phase = random.generateDouble() * 2.0 * std::numbers::pi;
        const int samples = int(((seconds > 0.0 ? seconds : c.seconds) + extraSeconds) * e2e::RecordRate);
        for (int n = 0; n < samples; ++n)
            append(0.5 * std::sin(phase + 2.0 * std::numbers::pi * c.frequency * n / e2e::RecordRate));
    };
    const auto noise = [&](double seconds, double level) {
        for (int n = 0; n < int(seconds * e2e::RecordRate); ++n)
            append(level * (random.generateDouble() * 2.0 - 1.0));
    };

    play("DingDong", 0.045);        // a buffer more than the clip
    play("GoodMorning", 0.0, 0.06); // loaded, started and replaced at once
    play("TheTimeIs");
    play("09", 0.09);
    play("09"); // the same clip again at once: one run, two plays
    noise(0.3, 0.0);
    noise(0.2, 0.5);
    play("Blank");

    const QList<e2e::HeardClip> heard = e2e::identifyClips(audio);
    EXPECT_EQ(joined(e2e::stemsOf(heard)), "DingDong TheTimeIs 09 09 Blank")
        << e2e::describe(heard).toStdString();
}

} // namespace
