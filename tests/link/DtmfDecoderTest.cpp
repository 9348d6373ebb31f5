#include "DtmfDecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

const QString AllDigits = QStringLiteral("123A456B789C*0#D");

// 8 kHz test audio: dual tones at the standard frequency pairs, each tone peaking at -10 dBFS.
struct Audio {
    std::vector<double> samples;

    Audio& tone(QChar key, int ms) {
        static constexpr double rows[] = {697, 770, 852, 941}, columns[] = {1209, 1336, 1477, 1633};
        const auto k = AllDigits.indexOf(key);
        const double w1 = 2 * std::numbers::pi * rows[k / 4] / 8000,
                     w2 = 2 * std::numbers::pi * columns[k % 4] / 8000;
        for (int i = 0; i < ms * 8; ++i)
            samples.push_back(32767 * 0.3162 * (std::sin(w1 * i) + std::sin(w2 * i)));
        return *this;
    }
    Audio& pause(int ms) {
        samples.resize(samples.size() + std::size_t(ms) * 8);
        return *this;
    }
    Audio& keys(const QString& keys, int onMs = 70, int offMs = 70) {
        for (const QChar key : keys)
            tone(key, onMs).pause(offMs);
        return *this;
    }
    double ms() const { return double(samples.size()) / 8; }
    // Optionally with Gaussian white noise over the whole band, and an offset.
    std::vector<std::int16_t> pcm(double noiseRmsDbfs = -200, double offset = 0) const {
        std::mt19937 random(42);
        std::normal_distribution<double> noise(0.0, 32768 * std::pow(10.0, noiseRmsDbfs / 20));
        std::vector<std::int16_t> out;
        for (const double sample : samples)
            out.push_back(
                std::int16_t(std::clamp(std::lround(sample + offset + noise(random)), -32768L, 32767L)));
        return out;
    }
};

struct Heard {
    QString sequence;
    double atMs; // when feed() handed it on
};

std::vector<Heard> listen(DtmfDecoder& decoder, const std::vector<std::int16_t>& pcm,
                          std::size_t block = 80) {
    std::vector<Heard> heard;
    for (std::size_t at = 0; at < pcm.size(); at += block) {
        for (const QString& sequence :
             decoder.feed(std::span(pcm).subspan(at, std::min(block, pcm.size() - at))))
            heard.push_back({sequence, double(decoder.samplesFed()) / 8});
    }
    return heard;
}

// Everything heard, the sequence still in progress at the end included.
QStringList sequences(const std::vector<std::int16_t>& pcm, DtmfDecoder::Options options = {}) {
    DtmfDecoder decoder(options);
    QStringList out;
    for (const Heard& heard : listen(decoder, pcm))
        out.append(heard.sequence);
    if (const QString last = decoder.flush(); !last.isEmpty())
        out.append(last);
    return out;
}

TEST(DtmfDecoder, RecognisesEverySymbolWhateverTheTimingAndBlockSize) {
    // Repeats check that a key pressed twice counts twice.
    const QString keys = AllDigits + QStringLiteral("0011##**DD");
    for (const auto& [onMs, offMs] : {std::pair{50, 50}, {100, 100}, {50, 100}, {100, 50}}) {
        SCOPED_TRACE(testing::Message() << onMs << " ms tones, " << offMs << " ms pauses");
        EXPECT_EQ(sequences(Audio().pause(100).keys(keys, onMs, offMs).pause(2000).pcm()), QStringList{keys});
    }
    const auto pcm =
        Audio().keys(QStringLiteral("147*")).pause(1600).keys(QStringLiteral("2580")).pause(1600).pcm();
    std::mt19937 random(7);
    DtmfDecoder decoder;
    QStringList heard;
    for (std::size_t at = 0, count = 0; at < pcm.size(); at += count) {
        count = std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 700)(random),
                                      pcm.size() - at);
        heard += decoder.feed(std::span(pcm).subspan(at, count));
    }
    EXPECT_EQ(heard, (QStringList{QStringLiteral("147*"), QStringLiteral("2580")})) << "random block sizes";
}

TEST(DtmfDecoder, ASequenceEndsWhenTheGapAfterItsLastToneRunsOut) {
    // It comes out during the pause, not when the next digit arrives.
    Audio audio;
    const double endOf123 = audio.pause(200).keys(QStringLiteral("12")).keys(QStringLiteral("3"), 70, 0).ms();
    const double endOf45 = audio.pause(2500).keys(QStringLiteral("4")).keys(QStringLiteral("5"), 70, 0).ms();
    DtmfDecoder decoder;
    const auto heard = listen(decoder, audio.pause(3000).pcm());
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].sequence, QStringLiteral("123"));
    EXPECT_EQ(heard[1].sequence, QStringLiteral("45"));
    // The detector notices the end of a tone a few milliseconds late.
    EXPECT_NEAR(heard[0].atMs, endOf123 + DtmfDecoder::DefaultGapMs, 40.0);
    EXPECT_NEAR(heard[1].atMs, endOf45 + DtmfDecoder::DefaultGapMs, 40.0);
}

TEST(DtmfDecoder, APauseJustShorterThanTheGapKeepsTheSequenceAndJustLongerEndsIt) {
    for (const int gapMs : {300, DtmfDecoder::DefaultGapMs}) {
        SCOPED_TRACE(testing::Message() << "gap " << gapMs << " ms");
        // Starts and ends of tones are both noticed about one detector block (13 ms) late.
        const auto withPause = [&](int pauseMs) {
            return sequences(Audio()
                                 .keys(QStringLiteral("1"))
                                 .keys(QStringLiteral("2"), 70, pauseMs)
                                 .keys(QStringLiteral("3"))
                                 .pause(gapMs + 500)
                                 .pcm(),
                             {.gapMs = gapMs});
        };
        EXPECT_EQ(withPause(gapMs - 20), QStringList{QStringLiteral("123")});
        EXPECT_EQ(withPause(gapMs + 20), (QStringList{QStringLiteral("12"), QStringLiteral("3")}));
    }
}

TEST(DtmfDecoder, AHeldKeyIsOneDigitAndTheGapStartsAtItsRelease) {
    EXPECT_EQ(sequences(Audio().tone(u'5', 3000).pause(1000).keys(QStringLiteral("6")).pause(2000).pcm()),
              QStringList{QStringLiteral("56")});
}

TEST(DtmfDecoder, DecodesThroughWhiteNoiseAt10dBSnrAndNoiseAloneDecodesNothing) {
    // The two tones together are -13 dBFS RMS; the noise is -23 dBFS RMS over the whole 4 kHz band.
    EXPECT_EQ(sequences(Audio().pause(300).keys(AllDigits).pause(2000).pcm(-23)), QStringList{AllDigits});
    EXPECT_EQ(sequences(Audio().pause(10000).pcm(-15)), QStringList());
}

TEST(DtmfDecoder, DecodesTonesRidingOnADcOffset) {
    // Cheap sound cards add an offset, through which the detector alone hears nothing at all.
    for (const double offset : {-8000.0, 3000.0})
        EXPECT_EQ(sequences(Audio().keys(AllDigits).pause(2000).pcm(-200, offset)), QStringList{AllDigits})
            << offset;
}

TEST(DtmfDecoder, MutingDropsTheSequenceInProgressAndIgnoresAudioUntilUnmuted) {
    DtmfDecoder decoder;
    EXPECT_TRUE(listen(decoder, Audio().keys(QStringLiteral("12")).pcm()).empty());
    decoder.setMuted(true);
    // Our own transmission with its keys, and long enough to end any sequence.
    const auto ours = Audio().keys(QStringLiteral("##45")).pause(2000).pcm();
    const std::int64_t before = decoder.samplesFed();
    EXPECT_TRUE(listen(decoder, ours).empty());
    EXPECT_EQ(decoder.samplesFed() - before, std::int64_t(ours.size())) << "time goes on while muted";
    EXPECT_TRUE(decoder.flush().isEmpty());

    decoder.setMuted(false);
    const auto heard = listen(decoder, Audio().keys(QStringLiteral("6")).pause(2000).pcm());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].sequence, QStringLiteral("6"));
}

TEST(DtmfDecoder, AnEndlessRunOfDigitsIsHandedOnInBoundedSequences) {
    const QString keys = AllDigits.repeated(10);
    const QStringList heard = sequences(Audio().keys(keys, 50, 50).pause(2000).pcm());
    ASSERT_EQ(heard.size(), 3);
    EXPECT_EQ(heard[0].size(), DtmfDecoder::MaxDigits);
    EXPECT_EQ(heard[1].size(), DtmfDecoder::MaxDigits);
    EXPECT_EQ(heard.join(QString()), keys) << "no digit is lost at the cuts";
}

// Talk-off: speech made here by espeak-ng, and the program's voice clips (chimes included) when
// the build has made them, resampled to 8 kHz by sox, must not yield a single digit.
TEST(DtmfDecoder, SpeechDecodesNoDigits) {
    const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    if (sox.isEmpty())
        GTEST_SKIP() << "sox is not installed; no speech can be resampled";
    QTemporaryDir scratch;
    QStringList clips;
    const QString text =
        QStringLiteral("CQ CQ, this is the talking clock. The time is eleven forty-seven PM. "
                       "One two three four five six seven eight nine zero. Whiskey echo four, over.");
    for (const char* voice : {"en-us", "en+f3", "de", "es", "pt-br", "fr"}) {
        for (const char* pitch : {"20", "80"}) {
            const QString clip = scratch.filePath(
                QStringLiteral("%1-%2.wav").arg(QLatin1StringView(voice), QLatin1StringView(pitch)));
            if (!espeak.isEmpty() &&
                QProcess::execute(espeak,
                                  {QStringLiteral("-v"), QLatin1StringView(voice), QStringLiteral("-p"),
                                   QLatin1StringView(pitch), QStringLiteral("-w"), clip, text}) == 0)
                clips.append(clip);
        }
    }
    // The test runs somewhere below <build>; the voices are in <build>/WavFiles.
    for (QDir dir(QCoreApplication::applicationDirPath()); !dir.isRoot(); dir.cdUp()) {
        if (dir.cd(QStringLiteral("WavFiles"))) {
            for (QDirIterator it(dir.path(), {QStringLiteral("*.wav")}, QDir::Files,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                clips.append(it.next());
            break;
        }
    }
    if (clips.isEmpty())
        GTEST_SKIP() << "neither espeak-ng nor the generated voice clips are available";

    QStringList falsed;
    for (const QString& clip : std::as_const(clips)) {
        QProcess resample;
        resample.start(sox, {clip, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-r"),
                             QStringLiteral("8000"), QStringLiteral("-c"), QStringLiteral("1"),
                             QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-e"),
                             QStringLiteral("signed-integer"), QStringLiteral("-L"), QStringLiteral("-")});
        ASSERT_TRUE(resample.waitForFinished(30000)) << clip.toStdString();
        const QByteArray raw = resample.readAllStandardOutput();
        std::vector<std::int16_t> pcm(std::size_t(raw.size()) / 2);
        std::memcpy(pcm.data(), raw.constData(), pcm.size() * 2);
        ASSERT_FALSE(pcm.empty()) << clip.toStdString();
        if (const QStringList heard = sequences(pcm); !heard.isEmpty())
            falsed.append(clip + QStringLiteral(": ") + heard.join(u','));
    }
    EXPECT_TRUE(falsed.isEmpty()) << "of " << clips.size() << " clips:\n" << falsed.join(u'\n').toStdString();
    RecordProperty("speech_clips", int(clips.size()));
}

} // namespace
