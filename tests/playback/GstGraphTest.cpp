#include "GstGraph.h"
#include "GstLaunch.h"
#include "MediaRuntime.h"
#include "TempDir.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {
// Plays in real time without a device, so timing behaves as on a station.
const QString TimedFakeOutput = u"fakesink sync=true"_s;

// A 440 Hz tone of `tenths` tenths of a second at 44.1 kHz mono, through `encoder`.
QString makeTone(const TempDir& dir, const QString& name, int tenths, const QString& encoder) {
    const QString path = dir.file(name);
    QString error;
    const bool made = runLaunchLine(
        u"audiotestsrc wave=sine freq=440 samplesperbuffer=4410 num-buffers=%1 "
        "! audio/x-raw,rate=44100,channels=1,format=S16LE ! %2 ! filesink location=\"%3\""_s.arg(tenths)
            .arg(encoder, path),
        &error);
    return made ? path : QString();
}

// A PCM WAV header for mono audio; the data that follows is up to the caller.
QByteArray wavHeader(quint32 sampleRate, quint16 bits, quint32 dataBytes) {
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << sampleRate << quint32(sampleRate * bits / 8)
        << quint16(bits / 8) << bits;
    out.writeRawData("data", 4);
    out << dataBytes;
    return header;
}

// Polls as the program does, every 10 ms, until the clip rests at its end; the position must
// never pass the duration on the way.
bool waitForEnd(const MediaPosition& graph, int boundMs) {
    const double duration = graph.Duration().value_or(-1);
    bool overshot = false;
    const bool ended = QTest::qWaitFor(
        [&] {
            const double position = graph.CurrentPosition().value_or(-1);
            overshot = overshot || position > duration;
            return position == duration;
        },
        boundMs);
    EXPECT_FALSE(overshot);
    return ended && !overshot;
}

std::shared_ptr<GstGraph> load(const QString& path, const QString& output = TimedFakeOutput) {
    auto graph = std::make_shared<GstGraph>(output);
    QString error;
    EXPECT_TRUE(graph->RenderFile(path, &error)) << error.toStdString();
    return graph;
}

double positionOf(const MediaPosition& graph) {
    return graph.CurrentPosition().value_or(-1);
}

class GstGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString error;
        ASSERT_TRUE(initMediaRuntime(&error)) << error.toStdString();
        clips = new TempDir;
        wav3s = makeTone(*clips, u"three.wav"_s, 30, u"wavenc"_s);
        wav2_5s = makeTone(*clips, u"twoandahalf.wav"_s, 25, u"wavenc"_s);
        // lamemp3enc writes no Xing header, so this stream does not declare its length.
        mp3 = makeTone(*clips, u"twoandahalf.mp3"_s, 25, u"lamemp3enc"_s);
        ASSERT_FALSE(wav3s.isEmpty() || wav2_5s.isEmpty() || mp3.isEmpty());
    }
    static void TearDownTestSuite() {
        delete clips;
        clips = nullptr;
    }

    static inline TempDir* clips = nullptr;
    static inline QString wav3s;
    static inline QString wav2_5s;
    static inline QString mp3;
};

TEST_F(GstGraphTest, DurationsAreExactAndTheSameOnEveryLoad) {
    for (const auto& [path, expected] : {std::pair{wav3s, 3.0}, std::pair{wav2_5s, 2.5}}) {
        for (int i = 0; i < 3; ++i) {
            const auto graph = load(path);
            EXPECT_EQ(graph->Duration(), expected);
            EXPECT_EQ(graph->CurrentPosition(), 0.0);
        }
    }

    // One MP3 declares its length in a Xing header, the other does not declare it at all.
    QStringList mp3s{mp3};
    if (GstRef<GstElementFactory>::take(gst_element_factory_find("xingmux")))
        mp3s << makeTone(*clips, u"tagged.mp3"_s, 25, u"lamemp3enc ! xingmux"_s);
    for (const QString& path : mp3s) {
        const auto first = load(path)->Duration();
        // Whole MP3 frames of 1152 samples, encoder padding included.
        EXPECT_GE(first.value_or(0), 2.5);
        EXPECT_LT(first.value_or(9), 2.6);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(load(path)->Duration(), first) << path.toStdString();
    }
}

TEST_F(GstGraphTest, DoubleRateEndsEarlyAndTheClipRestsExactlyAtItsDuration) {
    for (const QString& path : {wav2_5s, mp3}) {
        SCOPED_TRACE(path.toStdString());
        const auto graph = load(path);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(graph->Run());
        ASSERT_TRUE(graph->SetCurrentPosition(0));
        ASSERT_TRUE(graph->SetRate(2.0));
        ASSERT_TRUE(waitForEnd(*graph, 4000));
        EXPECT_LT(clock.elapsed(), 2200);
        // The end-of-clip test compares texts made from these two values: they must be identical.
        QTest::qWait(100);
        EXPECT_EQ(graph->CurrentPosition(), graph->Duration());
        // A rate change on a finished clip does not move it off its end.
        EXPECT_TRUE(graph->SetRate(1.0));
        EXPECT_EQ(graph->CurrentPosition(), graph->Duration());
    }
}

// Plays a one-second tone thirty decibels down for its first 0.3 s, then at full level, and
// returns the peaks of its first and last 0.2 s as the output received them.
std::pair<int, int> playQuietThenLoud(const QString& clip, const QString& raw, bool setBeforeRun) {
    auto graph =
        load(clip,
             u"audioconvert ! audio/x-raw,format=S16LE,channels=1 ! filesink location=\"%1\" sync=true"_s.arg(
                 raw));
    if (setBeforeRun) {
        EXPECT_TRUE(graph->SetVolume(-3000));
    }
    // The program starts a clip, then applies the volume.
    EXPECT_TRUE(graph->Run());
    EXPECT_TRUE(graph->SetCurrentPosition(0));
    EXPECT_TRUE(graph->SetVolume(-3000));
    QTest::qWait(300);
    EXPECT_TRUE(graph->SetVolume(0));
    EXPECT_TRUE(waitForEnd(*graph, 3000));
    graph.reset();

    QFile file(raw);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto* samples = reinterpret_cast<const qint16*>(bytes.constData());
    const qsizetype count = bytes.size() / 2, window = 8820;
    // A flushing seek restarts the sink's file, so it holds what followed the last seek.
    EXPECT_GE(count, 4 * window);
    const auto peak = [&](qsizetype from, qsizetype to) {
        int highest = -1;
        for (qsizetype i = std::max<qsizetype>(from, 0); i < to; ++i)
            highest = std::max(highest, std::abs(int(samples[i])));
        return highest;
    };
    return {peak(0, std::min(window, count)), peak(count - window, count)};
}

TEST_F(GstGraphTest, VolumeAppliesFromTheFirstSampleAndDuringPlayback) {
    const QString clip = makeTone(*clips, u"one.wav"_s, 10, u"wavenc"_s);
    EXPECT_FALSE(load(clip)->SetVolume(1));
    EXPECT_FALSE(load(clip)->SetVolume(-10001));
    for (const bool setBeforeRun : {true, false}) {
        SCOPED_TRACE(setBeforeRun ? "set before Run" : "set after Run");
        const auto [start, end] = playQuietThenLoud(clip, clips->file(u"volume.raw"_s), setBeforeRun);
        // The tone peaks at 0.8 of full scale, 26214; thirty decibels down that is about 829.
        EXPECT_NEAR(start, 829, 60);
        EXPECT_NEAR(end, 26214, 300);
    }
}

TEST_F(GstGraphTest, SeeksClampKeepTheRateAndReopenAFinishedClip) {
    const auto graph = load(wav3s);
    // The speed control's range.
    EXPECT_FALSE(graph->SetRate(0.05));
    EXPECT_FALSE(graph->SetRate(2.5));
    ASSERT_TRUE(graph->SetCurrentPosition(1.0));
    EXPECT_NEAR(positionOf(*graph), 1.0, 0.05);
    ASSERT_TRUE(graph->SetCurrentPosition(-5));
    EXPECT_NEAR(positionOf(*graph), 0.0, 0.05);

    ASSERT_TRUE(graph->Run());
    ASSERT_TRUE(graph->SetCurrentPosition(100));
    ASSERT_TRUE(waitForEnd(*graph, 1000));

    // At double rate the last 1.2 s take about 0.6 s; at normal rate they would take 1.2 s.
    ASSERT_TRUE(graph->SetRate(2.0));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(graph->SetCurrentPosition(1.8));
    EXPECT_LT(positionOf(*graph), 3.0);
    ASSERT_TRUE(waitForEnd(*graph, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(graph->CurrentPosition(), 3.0);
}

TEST_F(GstGraphTest, StopRewindsAndKeepsTheClipLoaded) {
    const auto graph = load(wav3s);
    ASSERT_TRUE(graph->Run());
    ASSERT_TRUE(QTest::qWaitFor([&] { return positionOf(*graph) > 0.2; }, 2000));
    ASSERT_TRUE(graph->Stop());
    QTest::qWait(150);
    EXPECT_LT(positionOf(*graph), 0.05);
    EXPECT_EQ(graph->Duration(), 3.0);
    ASSERT_TRUE(graph->Run());
    EXPECT_TRUE(QTest::qWaitFor([&] { return positionOf(*graph) > 0.1; }, 2000));
}

TEST_F(GstGraphTest, GraphsPlayIndependentlyAndDroppingTheLastReferenceEndsOne) {
    std::shared_ptr<FilterGraph> first = load(wav3s);
    // The player holds one graph through three facets.
    std::shared_ptr<MediaControl> control = first;
    std::shared_ptr<BasicAudio> audio = first;
    std::shared_ptr<MediaPosition> position = first;
    auto pipeline = GstRef<GstElement>::share(std::static_pointer_cast<GstGraph>(first)->pipeline());
    ASSERT_TRUE(pipeline);
    GstElement* watched = pipeline.get();
    g_object_add_weak_pointer(G_OBJECT(watched), reinterpret_cast<gpointer*>(&watched));
    first.reset();
    ASSERT_TRUE(control->Run());

    const auto second = load(wav3s);
    ASSERT_TRUE(second->Run());
    ASSERT_TRUE(QTest::qWaitFor([&] { return positionOf(*position) > 0.1; }, 2000));
    // The end of one stream is not reported by the other.
    ASSERT_TRUE(second->SetCurrentPosition(3.0));
    ASSERT_TRUE(waitForEnd(*second, 1000));
    EXPECT_LT(positionOf(*position), 2.0);

    control.reset();
    audio.reset();
    EXPECT_EQ(GST_STATE(pipeline.get()), GST_STATE_PLAYING);
    position.reset();
    EXPECT_EQ(GST_STATE(pipeline.get()), GST_STATE_NULL) << "playback went on without its graph";
    pipeline.reset();
    // GStreamer's own threads may hold the pipeline for a moment longer, but not for good.
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched == nullptr; }, 1000));
    EXPECT_EQ(second->CurrentPosition(), 3.0);
}

TEST_F(GstGraphTest, BrokenFilesFailFastAndSayWhy) {
    struct Case {
        const char* what;
        QString path;
        QString expected;
    };
    const QString folder = clips->file(u"broken"_s);
    std::vector<Case> cases = {
        {"missing", folder + u"/missing.wav"_s, u"does not exist"_s},
        {"empty", clips->write(u"broken/empty.wav"_s, {}), u"is empty"_s},
        {"header only", clips->write(u"broken/header.wav"_s, wavHeader(44100, 16, 88200)), u"no audio"_s},
        {"text", clips->write(u"broken/notes.mp3"_s, QByteArray("This is not audio.\n").repeated(40)),
         u"cannot decode"_s},
        {"folder", folder, u"not a file"_s},
    };
    if (geteuid() != 0) { // root reads every file
        const QString locked = clips->write(u"broken/locked.wav"_s, wavHeader(44100, 16, 0));
        QFile::setPermissions(locked, QFileDevice::Permissions());
        cases.push_back({"unreadable", locked, u"cannot be read"_s});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GstGraph graph(TimedFakeOutput);
        QString error;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(graph.RenderFile(c.path, &error));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_TRUE(error.contains(c.expected)) << error.toStdString();
        // A graph that failed to load behaves like an empty player.
        EXPECT_FALSE(graph.pipeline());
        EXPECT_FALSE(graph.Duration());
        EXPECT_FALSE(graph.CurrentPosition());
        EXPECT_FALSE(graph.Run());
        EXPECT_FALSE(graph.SetVolume(0));
        EXPECT_FALSE(graph.SetCurrentPosition(0));
    }
}

TEST_F(GstGraphTest, AnInvalidOutputDescriptionFailsEveryLoad) {
    GstGraph graph(u"nosuchsink device=1"_s);
    for (int i = 0; i < 2; ++i) {
        QString error;
        EXPECT_FALSE(graph.RenderFile(wav2_5s, &error));
        EXPECT_TRUE(error.contains(u"no element \"nosuchsink\""_s)) << error.toStdString();
    }
}

TEST_F(GstGraphTest, AClipLongerThanNineHoursReportsItsLength) {
    // 32768 one-byte samples at 1 Hz: the caller turns this down, so it must arrive intact.
    const QString path = clips->write(u"long.wav"_s, wavHeader(1, 8, 32768) + QByteArray(32768, '\x80'));
    EXPECT_EQ(load(path)->Duration(), 32768.0);
}

TEST_F(GstGraphTest, AnErrorDuringPlaybackFreezesThePosition) {
    if (!QFile::exists(u"/dev/full"_s))
        GTEST_SKIP() << "no /dev/full";
    // Writes fail once the sink's buffer fills, well into the clip.
    const auto graph = load(wav3s, u"filesink location=/dev/full sync=true"_s);
    ASSERT_TRUE(graph->Run());
    // The program only polls; a failed graph refuses to run again.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            positionOf(*graph);
            return !graph->Run();
        },
        3000));
    const double frozen = positionOf(*graph);
    EXPECT_GT(frozen, 0.0);
    EXPECT_LT(frozen, 3.0);
    QTest::qWait(200);
    EXPECT_EQ(positionOf(*graph), frozen);
    EXPECT_FALSE(graph->SetCurrentPosition(0));
    EXPECT_EQ(graph->Duration(), 3.0);
}

TEST_F(GstGraphTest, TheDefaultOutputRefusesToLoadWithoutADevice) {
    // No sound server, no ALSA devices, no JACK server started on demand; restored afterwards.
    const QByteArray config = QFile::encodeName(clips->write(u"asound.conf"_s, {}));
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    for (const auto& [name, value] :
         {std::pair{"PULSE_SERVER", QByteArray("unix:/nonexistent/pulse")},
          std::pair{"PIPEWIRE_REMOTE", QByteArray("/nonexistent/pipewire")},
          std::pair{"ALSA_CONFIG_PATH", config}, std::pair{"JACK_NO_START_SERVER", QByteArray("1")}}) {
        saved.emplace_back(name,
                           qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        qputenv(name, value);
    }
    const auto restore = qScopeGuard([&saved] {
        for (const auto& [name, value] : saved)
            value ? qputenv(name, *value) : qunsetenv(name);
    });

    GstGraph graph{QString()};
    QString error;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(graph.RenderFile(wav2_5s, &error));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(error.startsWith(u"no audio output device is available"_s)) << error.toStdString();
}

} // namespace
