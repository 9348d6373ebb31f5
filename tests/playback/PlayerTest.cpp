// SPDX-License-Identifier: GPL-3.0-or-later
#include "GstGraph.h"
#include "GstLaunch.h"
#include "MediaRuntime.h"
#include "TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString RealTime = u"fakesink sync=true"_s;

class Player : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString error;
        ASSERT_TRUE(initMediaRuntime(&error)) << error.toStdString();
        // Half a second of a tone at 0.8 of full scale, as WAV and as MP3 with its length tag.
        ASSERT_TRUE(runLaunchLine(
            u"audiotestsrc wave=sine freq=440 samplesperbuffer=2205 num-buffers=10 ! "
            "audio/x-raw,rate=44100,channels=1,format=S16LE ! wavenc ! filesink location=\"%1\""_s.arg(
                dir().file(u"tone.wav"_s)),
            &error))
            << error.toStdString();
        ASSERT_EQ(QProcess::execute(u"lame"_s,
                                    {u"--quiet"_s, dir().file(u"tone.wav"_s), dir().file(u"tone.mp3"_s)}),
                  0);
        dir().write(u"empty.wav"_s, {});
        dir().write(u"text.mp3"_s, "not audio at all\n");
    }
    static int entries(const char* folder) { return int(QDir(QString::fromLatin1(folder)).count()); }
    // The peak and the number of loud samples of what an output wrote as 16-bit mono.
    static std::pair<int, int> levels(const QString& raw) {
        QFile file(raw);
        if (!file.open(QIODevice::ReadOnly))
            return {0, 0};
        const QByteArray bytes = file.readAll();
        int peak = 0;
        int loud = 0;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
            const int sample = std::abs(int(qint16(quint8(bytes[i]) | quint8(bytes[i + 1]) << 8)));
            peak = std::max(peak, sample);
            loud += sample > 100;
        }
        return {peak, loud};
    }
    static QString recorder(const QString& raw, const QString& before = {}) {
        return u"%2 audioconvert ! audio/x-raw,format=S16LE,channels=1 ! "
               "filesink location=\"%1\" sync=true buffer-mode=unbuffered"_s.arg(raw, before);
    }
    static TempDir& dir() {
        static TempDir made;
        return made;
    }
    static std::shared_ptr<GstGraph> load(const QString& name, QString* error,
                                          const QString& output = RealTime) {
        auto graph =
            std::make_shared<GstGraph>(output); // it starts from the event loop, through a weak reference
        return graph->RenderFile(dir().file(name), error) ? graph : nullptr;
    }
};

TEST_F(Player, BrokenClipsAndOutputsFailAndSayWhy) {
    for (const QString& name : {u"missing.wav"_s, u"empty.wav"_s, u"text.mp3"_s}) {
        QString error;
        EXPECT_FALSE(load(name, &error)) << name.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    QString error;
    EXPECT_FALSE(load(u"tone.wav"_s, &error, u"nosuchsink"_s));
    EXPECT_FALSE(error.isEmpty());
    // An output that fails on its first write: the clip never ends, and the player says so.
    const auto graph = load(u"tone.wav"_s, &error, u"filesink location=/dev/full"_s);
    ASSERT_TRUE(graph) << error.toStdString();
    graph->Run();
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->PlaybackFailed(); }, 3000));
    EXPECT_NE(graph->CurrentPosition(), graph->Duration());
}

// Clip after clip plays to its end and rests exactly there, which is how the chain sees it
// ended, on one stream of the output, which closes once it has been idle a while. Moving a clip
// that ended long ago, after its stream has closed, plays it again from there.
TEST_F(Player, OneStreamCarriesEveryClipAndClosesWhenIdle) {
    const auto output = AudioOutput::forSink(RealTime);
    GstElement* stream = nullptr;
    std::shared_ptr<GstGraph> graph;
    for (const QString& name : {u"tone.mp3"_s, u"tone.wav"_s}) {
        SCOPED_TRACE(name.toStdString());
        QString error;
        graph = load(name, &error);
        ASSERT_TRUE(graph) << error.toStdString();
        EXPECT_NEAR(*graph->Duration(), 0.5, 0.001);
        EXPECT_TRUE(stream == nullptr || output->pipeline() == stream);
        stream = output->pipeline();
        EXPECT_TRUE(graph->Run());
        EXPECT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
        EXPECT_FALSE(graph->PlaybackFailed());
    }
    ASSERT_TRUE(stream);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return output->pipeline() == nullptr; }, AudioOutput::IdleCloseMs + 2000));
    const gint64 taken = graph->feed()->taken;
    EXPECT_TRUE(graph->SetCurrentPosition(0.1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
    EXPECT_FALSE(graph->PlaybackFailed());
    EXPECT_GT(double(graph->feed()->taken - taken), 0.35e9);
}

// The volume bar's hundredths of a decibel apply from the first sample on.
TEST_F(Player, VolumeAppliesFromTheFirstSample) {
    const QString raw = dir().file(u"out.raw"_s);
    QString error;
    const auto graph = load(u"tone.wav"_s, &error, recorder(raw));
    ASSERT_TRUE(graph) << error.toStdString();
    EXPECT_FALSE(graph->SetVolume(1));
    EXPECT_TRUE(graph->Run());
    EXPECT_TRUE(graph->SetCurrentPosition(0));
    EXPECT_TRUE(graph->SetVolume(-3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !graph->StillSounding(); }, 1000));
    // 0.8 of full scale, thirty decibels down.
    EXPECT_NEAR(levels(raw).first, 829, 60);
}

// An output that buffers (here a queue that the player fills as far ahead as it may) holds the
// release until it has played the clip's last sample: the recording is whole at the moment the
// player says nothing more is sounding.
TEST_F(Player, TheReleaseWaitsForTheOutputToPlayTheLastSample) {
    const QString raw = dir().file(u"late.raw"_s);
    QString error;
    const auto graph = load(u"tone.wav"_s, &error,
                            recorder(raw, u"queue max-size-buffers=0 max-size-bytes=0 max-size-time=0 !"_s));
    ASSERT_TRUE(graph) << error.toStdString();
    EXPECT_TRUE(graph->Run());
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
    EXPECT_TRUE(graph->StillSounding());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !graph->StillSounding(); }, 3000));
    EXPECT_GT(levels(raw).second, 23000); // half a second at 48 kHz, less the zero crossings
}

// A header that claims a quarter of the frames does not cut the clip: it ends with its audio.
TEST_F(Player, AClipWhoseHeaderUnderstatesItsLengthPlaysWhole) {
    QFile whole(dir().file(u"tone.mp3"_s));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QByteArray bytes = whole.readAll();
    const qsizetype tag = std::max(bytes.indexOf("Xing"), bytes.indexOf("Info"));
    ASSERT_GT(tag, 0);
    ASSERT_TRUE(bytes[tag + 7] & 1); // the frame count is there
    auto* frames = reinterpret_cast<uchar*>(bytes.data() + tag + 8);
    const quint32 count =
        quint32(frames[0]) << 24 | quint32(frames[1]) << 16 | quint32(frames[2]) << 8 | frames[3];
    for (int i = 0; i < 4; ++i)
        frames[i] = uchar((count / 4) >> (24 - 8 * i));
    dir().write(u"lying.mp3"_s, bytes);

    QString error;
    const auto graph = load(u"lying.mp3"_s, &error);
    ASSERT_TRUE(graph) << error.toStdString();
    ASSERT_LT(*graph->Duration(), 0.3);
    EXPECT_TRUE(graph->Run());
    ASSERT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
    EXPECT_GT(double(graph->feed()->taken), 0.45e9);
}

// An output that stops taking audio (a pipe whose reader holds it and reads no more, as a hung
// sound server does) fails the clip; from then on a load fails at once, before anything is
// keyed, until the reader reads again, and then the next clip plays in full.
TEST_F(Player, AnOutputThatHangsFailsAtOnceUntilItTakesAudioAgain) {
    int reader = -1;
    const QString output = pipeOutput(dir().file(u"hung"_s), &reader);
    QString error;
    auto graph = load(u"tone.wav"_s, &error, output);
    ASSERT_TRUE(graph) << error.toStdString();
    EXPECT_TRUE(graph->Run());
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->PlaybackFailed(); }, 4000));
    for (int attempt = 0; attempt < 3; ++attempt) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(load(u"tone.wav"_s, &error, output));
        EXPECT_LT(clock.elapsed(), 200);
        EXPECT_TRUE(error.contains(u"stopped taking audio"_s)) << error.toStdString();
    }

    std::atomic<bool> reading = true;
    std::thread drain([&] {
        char page[4096];
        while (reading)
            if (::read(reader, page, sizeof page) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    QTest::qWait(100);
    graph = load(u"tone.wav"_s, &error, output);
    EXPECT_TRUE(graph) << error.toStdString();
    if (graph) {
        EXPECT_TRUE(graph->Run());
        EXPECT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
        EXPECT_FALSE(graph->PlaybackFailed());
        graph.reset();
    }
    QTest::qWait(AudioOutput::IdleCloseMs + 500);
    reading = false;
    drain.join();
    ::close(reader);
}

// An output that never opens (a pipe nobody reads) holds one stuck try: every later one fails at
// once and costs no thread and no descriptor.
TEST_F(Player, AnOutputThatNeverOpensCostsNothingToRetry) {
    const QString output = pipeOutput(dir().file(u"unread"_s));
    QString error;
    EXPECT_FALSE(load(u"tone.wav"_s, &error, output));
    const int threads = entries("/proc/self/task");
    const int descriptors = entries("/proc/self/fd");
    for (int attempt = 0; attempt < 50; ++attempt) {
        error.clear();
        EXPECT_FALSE(load(u"tone.wav"_s, &error, output));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_LE(entries("/proc/self/task"), threads + 1);
    EXPECT_LE(entries("/proc/self/fd"), descriptors + 1);
    // Lets the stuck try finish, so that it leaves nothing behind for the next test.
    const int reader = ::open(QFile::encodeName(dir().file(u"unread"_s)).constData(), O_RDONLY | O_NONBLOCK);
    QTest::qWait(200);
    ::close(reader);
}

} // namespace
