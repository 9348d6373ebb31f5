#include "ReceiverAudio.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// Test audio at any rate: DTMF keys, sines at a given RMS level, and pauses.
class Track {
public:
    explicit Track(int rate = 8000)
        : rate_(rate) {}

    Track& keys(const QString& keys, int onMs = 70, int offMs = 70) {
        static const QString layout = QStringLiteral("123A456B789C*0#D");
        static constexpr double rows[] = {697, 770, 852, 941}, columns[] = {1209, 1336, 1477, 1633};
        for (const QChar key : keys) {
            const auto k = layout.indexOf(key);
            const double w1 = 2 * std::numbers::pi * rows[k / 4] / rate_,
                         w2 = 2 * std::numbers::pi * columns[k % 4] / rate_;
            for (int i = 0; i < count(onMs); ++i)
                samples_.push_back(10000 * (std::sin(w1 * i) + std::sin(w2 * i)));
            pause(offMs);
        }
        return *this;
    }
    Track& sine(double hz, double rmsDbfs, int ms) {
        const double amplitude = std::sqrt(2.0) * 32768 * std::pow(10.0, rmsDbfs / 20);
        for (int i = 0; i < count(ms); ++i)
            samples_.push_back(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate_));
        return *this;
    }
    Track& pause(int ms) {
        samples_.resize(samples_.size() + std::size_t(count(ms)));
        return *this;
    }
    std::vector<std::int16_t> pcm() const {
        std::vector<std::int16_t> out;
        for (const double sample : samples_)
            out.push_back(std::int16_t(std::clamp(std::lround(sample), -32768L, 32767L)));
        return out;
    }
    // A 16-bit PCM WAV file; every channel carries the same signal.
    void save(const QString& path, int channels = 1) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QDataStream out(&file);
        out.setByteOrder(QDataStream::LittleEndian);
        const auto bytes = quint32(samples_.size() * std::size_t(channels) * 2);
        out.writeRawData("RIFF", 4);
        out << quint32(36 + bytes);
        out.writeRawData("WAVEfmt ", 8);
        out << quint32(16) << quint16(1) << quint16(channels) << quint32(rate_)
            << quint32(rate_ * channels * 2) << quint16(channels * 2) << quint16(16);
        out.writeRawData("data", 4);
        out << bytes;
        for (const std::int16_t sample : pcm())
            for (int c = 0; c < channels; ++c)
                out << qint16(sample);
    }

private:
    int count(int ms) const { return int(std::int64_t(ms) * rate_ / 1000); }
    int rate_;
    std::vector<double> samples_;
};

struct Run {
    QStringList sequences;
    std::vector<std::pair<bool, double>> busy; // each change and its time in ms
};

// Feeds 10 ms blocks, as a capture would.
Run feed(ReceiverProcessor& processor, const Track& track, std::uint32_t transmitChanges = 0) {
    Run run;
    const auto pcm = track.pcm();
    for (std::size_t at = 0; at < pcm.size(); at += 80) {
        const auto events = processor.process(
            std::span(pcm).subspan(at, std::min<std::size_t>(80, pcm.size() - at)), transmitChanges);
        run.sequences += events.sequences;
        for (const bool busy : events.busyChanges)
            run.busy.emplace_back(busy, double(std::min(at + 80, pcm.size())) / 8);
    }
    return run;
}

TEST(ReceiverProcessor, BusyAfterTheHoldOfLoudAudioAndFreeAfterTheReleaseTime) {
    ReceiverOptions options{.source = {}, .busyLevelDb = -40, .busyHoldMs = 500};
    ReceiverProcessor carrier(options);
    const auto run = feed(carrier, Track().sine(1000, -20, 1000).pause(1000));
    ASSERT_EQ(run.busy.size(), 2u);
    EXPECT_TRUE(run.busy[0].first);
    EXPECT_NEAR(run.busy[0].second, 500, 20);
    EXPECT_NEAR(run.busy[1].second, 1000 + 500, 20) << "the release time defaults to the hold";
    ReceiverProcessor blip(options);
    EXPECT_TRUE(feed(blip, Track().sine(1000, -20, 460).pause(1000)).busy.empty());

    // Speech dips between words: a dip shorter than the release time does not restart the hold.
    options.busyReleaseMs = 300;
    ReceiverProcessor speech(options);
    const auto talk = feed(speech, Track().sine(500, -20, 300).pause(200).sine(500, -20, 300).pause(1000));
    ASSERT_FALSE(talk.busy.empty());
    EXPECT_NEAR(talk.busy[0].second, 300 + 200 + 200, 20);
    ReceiverProcessor twoBlips(options);
    EXPECT_TRUE(
        feed(twoBlips, Track().sine(500, -20, 300).pause(400).sine(500, -20, 300).pause(1000)).busy.empty());
}

TEST(ReceiverProcessor, TheLevelIsTheRmsOfEachBlockRelativeToFullScale) {
    const ReceiverOptions options{.source = {}, .busyLevelDb = -40, .busyHoldMs = 100};
    for (const auto& [rmsDbfs, busy] : {std::pair{-37.0, true}, {-43.0, false}}) {
        ReceiverProcessor processor(options);
        EXPECT_EQ(feed(processor, Track().sine(1000, rmsDbfs, 400)).busy.empty(), !busy) << rmsDbfs;
        EXPECT_NEAR(processor.level(), rmsDbfs, 0.2);
    }
    ReceiverProcessor processor(options);
    feed(processor, Track().sine(1000, -3.0103, 100));
    EXPECT_NEAR(processor.level(), -3.01, 0.05) << "a full-scale sine";
    feed(processor, Track().pause(100));
    EXPECT_EQ(processor.level(), ReceiverProcessor::SilenceDb);
}

TEST(ReceiverProcessor, OurTransmissionAndItsTailAreNeitherDecodedNorBusy) {
    ReceiverProcessor processor(ReceiverOptions{.source = {}, .busyHoldMs = 500, .transmitTailMs = 300});
    // An odd count: we transmit. Our own keys and a long loud stretch go unheard.
    auto run = feed(processor, Track().keys(QStringLiteral("123")).sine(1000, -10, 1500), 1);
    EXPECT_TRUE(run.busy.empty());
    EXPECT_TRUE(run.sequences.isEmpty());
    // Ended: a key within the 300 ms tail is still ours, the next one is heard.
    run = feed(processor, Track().keys(QStringLiteral("9"), 70, 270).keys(QStringLiteral("456")).pause(2000),
               2);
    EXPECT_EQ(run.sequences, QStringList{QStringLiteral("456")});
    // A transmission that began and ended between two blocks still mutes for its tail.
    run =
        feed(processor, Track().keys(QStringLiteral("7"), 70, 300).keys(QStringLiteral("8")).pause(2000), 4);
    EXPECT_EQ(run.sequences, QStringList{QStringLiteral("8")});
}

// From here on through GStreamer, with a file standing in for the radio.
class ReceiverAudioTest : public testing::Test {
protected:
    QString wav(const Track& track, int channels = 1) {
        const QString path = dir_.filePath(QStringLiteral("%1.wav").arg(++files_));
        track.save(path, channels);
        return path;
    }
    static QString fileSource(const QString& path) {
        return QStringLiteral("filesrc location=\"%1\" ! wavparse").arg(path);
    }
    // Runs a capture to the end of its file, and on until what it found has been delivered.
    static void playToEnd(ReceiverAudio& receiver) {
        QString error;
        ASSERT_TRUE(receiver.start(&error)) << error.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !receiver.isRunning(); }, 10000));
        QTest::qWait(50);
    }

    QTemporaryDir dir_;
    int files_ = 0;
};

TEST_F(ReceiverAudioTest, TheSequenceArrivesOnTheUserInterfaceThread) {
    // Other rates and stereo are converted on the way in. The file ends before the gap has run
    // out, so it is the end of the stream that hands the sequence on.
    for (const auto& [rate, channels] : {std::pair{44100, 1}, {48000, 2}, {8000, 1}}) {
        SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
        ReceiverAudio receiver(ReceiverOptions{
            .source = fileSource(
                wav(Track(rate).pause(300).keys(QStringLiteral("##123**")).pause(300), channels))});
        QStringList heard;
        QList<QThread*> threads;
        // Direct: the slot runs on whichever thread emits.
        QObject::connect(
            &receiver, &ReceiverAudio::dtmfSequence, &receiver,
            [&](const QString& sequence) {
                heard.append(sequence);
                threads.append(QThread::currentThread());
            },
            Qt::DirectConnection);
        playToEnd(receiver);
        EXPECT_EQ(heard, QStringList{QStringLiteral("##123**")});
        EXPECT_EQ(threads, QList<QThread*>{QCoreApplication::instance()->thread()});
    }
}

TEST_F(ReceiverAudioTest, ALoudSignalMakesTheChannelBusyAndSilenceFreesIt) {
    // Paced in real time, so that the release can be seen while the capture still runs.
    ReceiverAudio receiver(
        ReceiverOptions{.source = fileSource(wav(Track(16000).pause(200).sine(1000, -20, 1000).pause(2200))) +
                                  QStringLiteral(" ! identity sync=true"),
                        .busyLevelDb = -40,
                        .busyHoldMs = 500});
    QSignalSpy changes(&receiver, &ReceiverAudio::busyChanged);
    QString error;
    ASSERT_TRUE(receiver.start(&error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return receiver.busy(); }, 3000));
    EXPECT_GT(receiver.level(), -30.0f);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !receiver.busy(); }, 3000));
    EXPECT_TRUE(receiver.isRunning()) << "freed by the silence, not by the end of the file";
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(ReceiverAudioTest, WhileTransmittingNothingIsDecodedNorBusy) {
    ReceiverAudio receiver(ReceiverOptions{
        .source = fileSource(wav(Track().keys(QStringLiteral("##123**")).sine(1000, -10, 1000).pause(2000))),
        .busyHoldMs = 300});
    QSignalSpy sequences(&receiver, &ReceiverAudio::dtmfSequence);
    QSignalSpy busy(&receiver, &ReceiverAudio::busyChanged);
    receiver.setTransmitting(true);
    playToEnd(receiver);
    EXPECT_EQ(sequences.count(), 0);
    EXPECT_EQ(busy.count(), 0);
}

TEST_F(ReceiverAudioTest, StartReportsSourcesThatCannotWork) {
    QFile garbage(dir_.filePath(QStringLiteral("garbage.wav")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(4096, 'x')) == 4096);
    garbage.close();
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("nosuchelement"), QStringLiteral("not valid")},
        {QStringLiteral("videotestsrc"), QStringLiteral("not valid")},
        {fileSource(dir_.filePath(QStringLiteral("missing.wav"))), QStringLiteral("Resource not found")},
        {fileSource(garbage.fileName()), QStringLiteral("different type")},
    };
    for (const auto& [source, reason] : cases) {
        ReceiverAudio receiver(ReceiverOptions{.source = source});
        QString error;
        EXPECT_FALSE(receiver.start(&error)) << source.toStdString();
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
        EXPECT_FALSE(receiver.isRunning());
    }
    ReceiverAudio automatic(ReceiverOptions{});
    QString error;
    if (automatic.start(&error))
        GTEST_SKIP() << "this machine has a real audio input";
    EXPECT_TRUE(error.contains(QStringLiteral("no audio input device"))) << error.toStdString();
}

TEST_F(ReceiverAudioTest, AFailureWhileRunningIsReportedOnceAndTheCaptureRestarted) {
    // A live source that breaks after ten 10 ms buffers, every time it is started.
    ReceiverAudio receiver(
        ReceiverOptions{.source = QStringLiteral("audiotestsrc is-live=true wave=silence "
                                                 "samplesperbuffer=80 ! identity error-after=10"),
                        .retryMs = 50});
    QSignalSpy failures(&receiver, &ReceiverAudio::captureFailed);
    QString error;
    ASSERT_TRUE(receiver.start(&error)) << error.toStdString();
    int restarts = 0;
    for (bool running = true;
         restarts < 3 && QTest::qWaitFor([&] { return receiver.isRunning() != running; }, 3000);)
        restarts += (running = !running) ? 1 : 0;
    EXPECT_EQ(restarts, 3);
    EXPECT_EQ(failures.count(), 1) << "the same failure again is not news";

    receiver.stop();
    QTest::qWait(300);
    EXPECT_FALSE(receiver.isRunning()) << "stopping ends the retries";
}

} // namespace
