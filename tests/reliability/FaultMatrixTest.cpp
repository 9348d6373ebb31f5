#include "FaultStation.h"
#include "MediaRuntime.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <ostream>
#include <tuple>

using namespace faults;

// Names for the test list, in place of the enumerations' bytes.
namespace faults {
void PrintTo(Chain chain, std::ostream* out) {
    *out << nameOf(chain);
}
void PrintTo(Format format, std::ostream* out) {
    *out << nameOf(format);
}
void PrintTo(Starter starter, std::ostream* out) {
    *out << nameOf(starter);
}
} // namespace faults

namespace {

// Clips of 24 to 48 ms: any announcement of them is over well within this.
constexpr int SettleMs = 5000;
// A failed load releases the transmitter itself, before the operator is told.
constexpr qint64 ReleaseAfterFailedLoadMs = 1000;
// An announcement that plays to its end, or whose clip died under it, is released by the
// watchdog, which looks once a second and learns of an end from the progress refresh, every
// 10 ms; the rest is room for a machine busy with other tests.
constexpr qint64 ReleaseAfterLastAudioMs = 1000 + 10 + 90;

enum class Fault { Missing, Empty, Truncated, NotAudio };
constexpr Fault AllFaults[] = {Fault::Missing, Fault::Empty, Fault::Truncated, Fault::NotAudio};

const char* nameOf(Fault fault) {
    switch (fault) {
    case Fault::Missing:
        return "missing";
    case Fault::Empty:
        return "empty";
    case Fault::Truncated:
        return "truncated";
    case Fault::NotAudio:
        return "not audio";
    }
    return "?";
}

// As an interrupted copy, a full disk or a wrong file saved under a clip's name leaves it.
bool breakClip(const QString& path, Fault fault) {
    QFile file(path);
    switch (fault) {
    case Fault::Missing:
        return file.remove();
    case Fault::Empty:
        return file.resize(0);
    case Fault::Truncated:
        return file.resize(file.size() * 3 / 4);
    case Fault::NotAudio:
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(QByteArray("Net control: check-ins for the evening net.\n").repeated(40)) > 0;
    }
    return false;
}

struct Figures {
    int faults = 0, failedLoads = 0, playedOut = 0, fullAfter = 0, missedStarts = 0;
    qint64 worstAfterFailedLoadMs = -1, worstAfterLastAudioMs = -1;
};

// Starts an announcement and waits until it has played out: the final clip heard in full and
// nothing left to load. True when every clip of the chain was heard in full, in order.
bool playsInFull(FaultStation& station, Starter starter) {
    const Mark mark = station.mark();
    station.startAnnouncement(starter);
    const QString last = station.chain().last();
    const bool ended = station.waitFor(
        [&] {
            const ClipLog* clip = station.lastClip();
            return station.idle() && station.graphs.clips.size() > mark.clip && clip->stem() == last &&
                   clip->heardInFull();
        },
        SettleMs);
    const Announcement a = station.since(mark, mark.ms);
    const bool allFull =
        std::all_of(a.heard.begin(), a.heard.end(), [](const auto& clip) { return clip.full; });
    const bool full = ended && a.stems() == station.chain() && allFull && a.errors.isEmpty();
    EXPECT_TRUE(full) << "announcement by " << nameOf(starter)
                      << " did not play in full: " << a.describe().toStdString();
    return full;
}

// How an announcement that met a fault ended.
struct Outcome {
    Announcement a;
    bool failedLoad = false;
    qint64 releaseMs = -1; // after the announcement's last event: its last load or its last audio
};

// Waits for the announcement started after `mark` to settle and checks what every fault must
// leave: the start keyed the transmitter, nothing released it before its end, it was released
// within the bound and never keyed again.
Outcome settle(FaultStation& station, const Mark& mark, Figures& figures) {
    const bool settled = station.waitFor([&] { return station.quiet(); }, SettleMs);
    const Announcement first = station.since(mark, mark.ms);
    Outcome o;
    o.failedLoad = first.failedLoad != nullptr;
    qint64 lastEventMs = first.lastAudioEndMs;
    if (const ClipLog* last = station.lastClip(); station.graphs.clips.size() > mark.clip)
        lastEventMs = std::max(lastEventMs, last->loadMs);
    o.a = station.since(mark, lastEventMs - 20);
    if (o.a.releaseMs)
        o.releaseMs = std::max<qint64>(0, *o.a.releaseMs - lastEventMs);
    const std::string story = o.a.describe().toStdString();

    EXPECT_TRUE(settled) << "still keyed or busy " << SettleMs << " ms after the start: " << story;
    if (!o.a.keyed) {
        ++figures.missedStarts;
        ADD_FAILURE() << "the start keyed nothing: " << story;
    }
    EXPECT_FALSE(o.a.releasedEarly) << story;
    EXPECT_FALSE(o.a.toldWhileKeyed) << "the message came before the release: " << story;
    EXPECT_FALSE(o.a.keyedAfterRelease) << story;
    EXPECT_GE(o.releaseMs, 0) << "never released: " << story;
    if (o.failedLoad) {
        ++figures.failedLoads;
        figures.worstAfterFailedLoadMs = std::max(figures.worstAfterFailedLoadMs, o.releaseMs);
        EXPECT_LE(o.releaseMs, ReleaseAfterFailedLoadMs) << story;
    } else {
        ++figures.playedOut;
        figures.worstAfterLastAudioMs = std::max(figures.worstAfterLastAudioMs, o.releaseMs);
        EXPECT_LE(o.releaseMs, ReleaseAfterLastAudioMs) << story;
    }
    return o;
}

// Every clip heard was heard to its end, but for a damaged one, which may end early.
void expectAllFull(const Announcement& a, const QString& damaged = QString()) {
    for (const auto& clip : a.heard) {
        if (clip.stem != damaged) {
            EXPECT_TRUE(clip.full) << clip.stem.toStdString() << " cut short: " << a.describe().toStdString();
        }
    }
}

// Runs `act` once, as soon as the clip of `stem` has loaded for the first time.
void onFirstLoadOf(FaultStation& station, const QString& stem, std::function<void()> act) {
    station.graphs.afterLoad = [&station, stem, act = std::move(act)](const ClipLog& clip) {
        if (clip.stem() != stem)
            return;
        station.graphs.afterLoad = nullptr;
        act();
    };
}

void printFigures(const QString& what, const Figures& figures, const FaultStation& station) {
    std::printf(
        "[ figures ] %s: %d faults, %d failed loads (worst release %lld ms after the load), %d played "
        "out (worst release %lld ms after the last audio), next announcement in full %d/%d, "
        "starts missed %d, worst timer lateness %lld ms\n",
        qPrintable(what), figures.faults, figures.failedLoads,
        static_cast<long long>(figures.worstAfterFailedLoadMs), figures.playedOut,
        static_cast<long long>(figures.worstAfterLastAudioMs), figures.fullAfter, figures.faults,
        figures.missedStarts, static_cast<long long>(station.worstTimerLatenessMs()));
    std::fflush(stdout);
}

class MediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString error;
        ASSERT_TRUE(initMediaRuntime(&error)) << error.toStdString();
    }
};

class FaultMatrix : public MediaTest,
                    public ::testing::WithParamInterface<std::tuple<Chain, Format, Starter>> {};

// Every clip of the chain, broken in each way in turn, met by an announcement from one starter:
// the transmitter is released, the program runs on, and with the clip put back the next
// announcement plays in full.
TEST_P(FaultMatrix, EveryBrokenClipReleasesTheTransmitterAndTheNextAnnouncementPlaysInFull) {
    const auto [chainKind, format, starter] = GetParam();
    FaultStation station(chainKind, format);
    QString error;
    ASSERT_TRUE(station.start(&error)) << error.toStdString();
    // The first announcement after start-up takes a path of its own through the chain; by the
    // button, as a station checks a new voice.
    ASSERT_TRUE(playsInFull(station, Starter::Button)) << "with no fault at all";

    Figures figures;
    const QStringList chain = station.chain();
    for (int step = 0; step < chain.size(); ++step) {
        for (const Fault fault : AllFaults) {
            SCOPED_TRACE(QStringLiteral("%1 clip %2 (step %3)")
                             .arg(QLatin1String(nameOf(fault)), chain[step])
                             .arg(step + 1)
                             .toStdString());
            ++figures.faults;
            station.selectVoice();
            const QString broken = station.clipFile(chain[step], format);
            ASSERT_TRUE(breakClip(broken, fault));
            station.excuseLateness();
            const Mark mark = station.mark();
            station.startAnnouncement(starter);
            const Outcome o = settle(station, mark, figures);
            expectAllFull(o.a, chain[step]);
            const std::string story = o.a.describe().toStdString();
            if (o.failedLoad) {
                // Met at its own step: the clips before it were heard, nothing after.
                EXPECT_EQ(o.a.failedLoad->path, broken) << story;
                EXPECT_EQ(o.a.stems(), chain.mid(0, step)) << story;
                ASSERT_EQ(o.a.errors.size(), 1) << story;
                EXPECT_TRUE(o.a.errors.first().startsWith(broken + QStringLiteral(": "))) << story;
            } else {
                // The damaged clip still decoded: it played for as long as it lasted and the
                // chain went on; a clip cut short says nothing to the operator.
                QStringList others = o.a.stems();
                others.removeAll(chain[step]);
                QStringList expected = chain;
                expected.removeAt(step);
                EXPECT_EQ(others, expected) << story;
                EXPECT_TRUE(o.a.errors.isEmpty()) << story;
            }
            ASSERT_TRUE(station.restoreClip(chain[step], format));
            if (playsInFull(station, starter))
                ++figures.fullAfter;
            if (HasFatalFailure())
                return;
        }
    }
    EXPECT_TRUE(station.waitFor([&] { return station.quiet(); }, 1500))
        << "the last announcement was not released";
    printFigures(QStringLiteral("broken clips, %1 chain, %2, %3")
                     .arg(QLatin1String(nameOf(chainKind)), QLatin1String(nameOf(format)),
                          QLatin1String(nameOf(starter))),
                 figures, station);
}

std::string MatrixName(const ::testing::TestParamInfo<FaultMatrix::ParamType>& instance) {
    const auto [chain, format, starter] = instance.param;
    return std::string(nameOf(chain)) + nameOf(format) + nameOf(starter);
}

INSTANTIATE_TEST_SUITE_P(AllStarters, FaultMatrix,
                         ::testing::Combine(::testing::Values(Chain::Long, Chain::Short),
                                            ::testing::Values(Format::Wav, Format::Mp3),
                                            ::testing::Values(Starter::Button, Starter::Clock,
                                                              Starter::Dtmf)),
                         MatrixName);

class VoiceFolderDeleted : public MediaTest,
                           public ::testing::WithParamInterface<std::tuple<Chain, Format>> {};

// The voice folder removed while each clip in turn plays: the clip playing is heard to its end
// from the file it has open, the next load fails and releases. Announcements started while
// the folder is gone fail at once; with the folder back the next one plays in full.
TEST_P(VoiceFolderDeleted, DuringEachClipReleasesAndAnnouncesAgainOnceItIsBack) {
    const auto [chainKind, format] = GetParam();
    FaultStation station(chainKind, format);
    QString error;
    ASSERT_TRUE(station.start(&error)) << error.toStdString();
    ASSERT_TRUE(playsInFull(station, Starter::Button));

    Figures figures;
    const QStringList chain = station.chain();
    for (int step = 0; step < chain.size(); ++step) {
        SCOPED_TRACE(
            QStringLiteral("deleted during %1 (step %2)").arg(chain[step]).arg(step + 1).toStdString());
        ++figures.faults;
        station.selectVoice();
        // The clip loaded keeps its file open and plays to its end.
        bool deleted = false;
        onFirstLoadOf(station, chain[step], [&] {
            deleted = QDir(station.voiceFolder()).removeRecursively();
            station.excuseLateness();
        });
        const Mark mark = station.mark();
        station.startAnnouncement(Starter::Button);
        const Outcome o = settle(station, mark, figures);
        expectAllFull(o.a);
        const std::string story = o.a.describe().toStdString();
        ASSERT_TRUE(deleted) << story;
        if (step + 1 < chain.size()) {
            EXPECT_TRUE(o.failedLoad) << story;
            EXPECT_EQ(o.a.stems(), chain.mid(0, step + 1)) << story;
            ASSERT_EQ(o.a.errors.size(), 1) << story;
            EXPECT_TRUE(o.a.errors.first().contains(QStringLiteral("does not exist"))) << story;
        } else {
            EXPECT_FALSE(o.failedLoad) << "nothing was left to load: " << story;
            EXPECT_EQ(o.a.stems(), chain) << story;
        }

        const Mark gone = station.mark();
        station.startAnnouncement(Starter::Button);
        const Outcome again = settle(station, gone, figures);
        EXPECT_TRUE(again.failedLoad && again.a.heard.empty() && again.a.errors.size() == 1)
            << "a start with no voice folder: " << again.a.describe().toStdString();

        ASSERT_TRUE(station.restoreVoice());
        if (playsInFull(station, Starter::Button))
            ++figures.fullAfter;
        if (HasFatalFailure())
            return;
    }
    printFigures(QStringLiteral("voice folder deleted, %1 chain, %2")
                     .arg(QLatin1String(nameOf(chainKind)), QLatin1String(nameOf(format))),
                 figures, station);
}

std::string FolderName(const ::testing::TestParamInfo<VoiceFolderDeleted::ParamType>& instance) {
    const auto [chain, format] = instance.param;
    return std::string(nameOf(chain)) + nameOf(format);
}

INSTANTIATE_TEST_SUITE_P(BothChains, VoiceFolderDeleted,
                         ::testing::Combine(::testing::Values(Chain::Long, Chain::Short),
                                            ::testing::Values(Format::Wav, Format::Mp3)),
                         FolderName);

enum class OutputFault { GoneAtLoad, FailsWhilePlaying };

void PrintTo(OutputFault fault, std::ostream* out) {
    *out << (fault == OutputFault::GoneAtLoad ? "GoneAtLoad" : "FailsWhilePlaying");
}

// A sound card that is not there (unplugged, or taken by another program) refuses the load; a
// disk that is full takes the first buffers and fails on the first write, as a device that
// goes away under a playing clip does.
QString outputFor(OutputFault fault) {
    return fault == OutputFault::GoneAtLoad
               ? QStringLiteral("alsasink device=hw:99")
               : QStringLiteral("filesink location=/dev/full buffer-mode=unbuffered sync=true");
}

class OutputFailure : public MediaTest,
                      public ::testing::WithParamInterface<std::tuple<Chain, OutputFault>> {};

// The audio output fails from the clip of each step in turn on: the transmitter is released,
// and once the output is back the next announcement plays in full.
TEST_P(OutputFailure, FromEachStepOnReleasesAndAnnouncesAgainOnceItIsBack) {
    const auto [chainKind, fault] = GetParam();
    FaultStation station(chainKind, Format::Wav);
    QString error;
    ASSERT_TRUE(station.start(&error)) << error.toStdString();
    ASSERT_TRUE(playsInFull(station, Starter::Button));

    Figures figures;
    const QStringList chain = station.chain();
    for (int step = 0; step < chain.size(); ++step) {
        SCOPED_TRACE(
            QStringLiteral("output failing from %1 (step %2)").arg(chain[step]).arg(step + 1).toStdString());
        ++figures.faults;
        station.selectVoice();
        // Every graph made from then on plays on the failing output; the clip of the step
        // before keeps the output it was loaded with.
        if (step == 0)
            station.graphs.output = outputFor(fault);
        else
            onFirstLoadOf(station, chain[step - 1],
                          [&station, kind = fault] { station.graphs.output = outputFor(kind); });
        const Mark mark = station.mark();
        station.startAnnouncement(Starter::Button);
        const Outcome o = settle(station, mark, figures);
        expectAllFull(o.a);
        const std::string story = o.a.describe().toStdString();
        EXPECT_EQ(o.a.stems(), chain.mid(0, step)) << story;
        if (fault == OutputFault::GoneAtLoad) {
            EXPECT_TRUE(o.failedLoad) << story;
            ASSERT_EQ(o.a.errors.size(), 1) << story;
            EXPECT_TRUE(o.a.errors.first().contains(QStringLiteral("cannot open the audio output"))) << story;
        }

        EXPECT_FALSE(station.graphs.afterLoad) << "the output never failed";
        station.graphs.output = GoodOutput;
        if (playsInFull(station, Starter::Button))
            ++figures.fullAfter;
        if (HasFatalFailure())
            return;
    }
    printFigures(QStringLiteral("audio output %1, %2 chain")
                     .arg(fault == OutputFault::GoneAtLoad ? QStringLiteral("gone at load")
                                                           : QStringLiteral("failing while playing"),
                          QLatin1String(nameOf(chainKind))),
                 figures, station);
}

std::string OutputName(const ::testing::TestParamInfo<OutputFailure::ParamType>& instance) {
    const auto [chain, fault] = instance.param;
    return std::string(nameOf(chain)) +
           (fault == OutputFault::GoneAtLoad ? "GoneAtLoad" : "FailsWhilePlaying");
}

INSTANTIATE_TEST_SUITE_P(BothChains, OutputFailure,
                         ::testing::Combine(::testing::Values(Chain::Long, Chain::Short),
                                            ::testing::Values(OutputFault::GoneAtLoad,
                                                              OutputFault::FailsWhilePlaying)),
                         OutputName);

} // namespace
