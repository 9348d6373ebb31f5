// SPDX-License-Identifier: GPL-3.0-or-later
#include "GstGraph.h"
#include "GstLaunch.h"
#include "MediaRuntime.h"
#include "TempDir.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

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

// A clip plays to its end and then rests exactly there, which is how the chain sees it ended.
TEST_F(Player, ClipsReadTheirLengthAndRestAtTheirEnd) {
    for (const QString& name : {u"tone.wav"_s, u"tone.mp3"_s}) {
        SCOPED_TRACE(name.toStdString());
        QString error;
        const auto graph = load(name, &error);
        ASSERT_TRUE(graph) << error.toStdString();
        EXPECT_NEAR(*graph->Duration(), 0.5, 0.001);
        EXPECT_TRUE(graph->Run());
        EXPECT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
        EXPECT_FALSE(graph->PlaybackFailed());
    }
}

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

// Clip after clip plays on one stream of the output, which closes once it has been idle a while.
TEST_F(Player, OneStreamCarriesEveryClipAndClosesWhenIdle) {
    const auto output = AudioOutput::forSink(RealTime);
    GstElement* stream = nullptr;
    for (const QString& name : {u"tone.wav"_s, u"tone.mp3"_s}) {
        QString error;
        const auto graph = load(name, &error);
        ASSERT_TRUE(graph) << error.toStdString();
        EXPECT_TRUE(stream == nullptr || output->pipeline() == stream) << name.toStdString();
        stream = output->pipeline();
        EXPECT_TRUE(graph->Run());
        EXPECT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
    }
    ASSERT_TRUE(stream);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return output->pipeline() == nullptr; }, AudioOutput::IdleCloseMs + 2000));
}

// The volume bar's hundredths of a decibel apply from the first sample on.
TEST_F(Player, VolumeAppliesFromTheFirstSample) {
    const QString raw = dir().file(u"out.raw"_s);
    QString error;
    const auto graph = load(u"tone.wav"_s, &error,
                            u"audioconvert ! audio/x-raw,format=S16LE,channels=1 ! "
                            "filesink location=\"%1\" sync=true buffer-mode=unbuffered"_s.arg(raw));
    ASSERT_TRUE(graph) << error.toStdString();
    EXPECT_FALSE(graph->SetVolume(1));
    EXPECT_TRUE(graph->Run());
    EXPECT_TRUE(graph->SetCurrentPosition(0));
    EXPECT_TRUE(graph->SetVolume(-3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return graph->CurrentPosition() == graph->Duration(); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !graph->StillSounding(); }, 1000));
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    int peak = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        peak = std::max(peak, std::abs(int(qint16(quint8(bytes[i]) | quint8(bytes[i + 1]) << 8))));
    // 0.8 of full scale, thirty decibels down.
    EXPECT_NEAR(peak, 829, 60);
}

} // namespace
