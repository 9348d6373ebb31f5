// SPDX-License-Identifier: GPL-3.0-or-later
#include "DtmfDecoder.h"
#include "ReceiverAudio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string_view>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Audio = std::vector<std::int16_t>;

// How each key's two tones are made: the high tone's level against the low one's, both
// frequencies off by a factor, for how long.
struct Shape {
    double highDb = 0;
    double frequencyFactor = 1;
};

// "1" for 100 ms, then silence written as "_300".
Audio audio(const std::vector<std::pair<char, int>>& parts, double amplitude = 8000, Shape shape = {}) {
    static const char keys[] = "123A456B789C*0#D";
    static const double rows[] = {697, 770, 852, 941}, columns[] = {1209, 1336, 1477, 1633};
    Audio out;
    for (const auto& [key, ms] : parts) {
        const char* at = key == '_' ? nullptr : std::strchr(keys, key);
        for (int i = 0; i < ms * DtmfDecoder::SampleRate / 1000; ++i) {
            const double t = double(i) / DtmfDecoder::SampleRate;
            const double f = 2 * M_PI * shape.frequencyFactor * t;
            const double sample =
                at ? amplitude * (std::sin(f * rows[(at - keys) / 4]) +
                                  std::pow(10, shape.highDb / 20) * std::sin(f * columns[(at - keys) % 4]))
                   : 0.0;
            out.push_back(std::int16_t(sample));
        }
    }
    return out;
}

// Sequences end after the gap, whatever the block size; a held key is one digit.
TEST(Dtmf, SequencesEndAfterTheGap) {
    const struct {
        const char* name;
        Audio sound;
        QStringList sequences;
    } cases[] = {
        {"digits a second apart", audio({{'1', 100}, {'_', 1000}, {'2', 100}, {'_', 1600}}), {u"12"_s}},
        {"digits two seconds apart",
         audio({{'1', 100}, {'_', 2000}, {'2', 100}, {'_', 1600}}),
         {u"1"_s, u"2"_s}},
        {"a key held for three seconds", audio({{'5', 3000}, {'_', 1600}}), {u"5"_s}},
        {"every key",
         audio({{'*', 80}, {'_', 60}, {'0', 80}, {'_', 60}, {'#', 80}, {'_', 60}, {'D', 80}, {'_', 1600}}),
         {u"*0#D"_s}},
        {"too quiet", audio({{'1', 100}, {'_', 1600}}, 20), {}},
    };
    for (const auto& c : cases) {
        for (const std::size_t block : {std::size_t(1), std::size_t(160), c.sound.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", blocks of " + std::to_string(block));
            DtmfDecoder decoder;
            QStringList heard;
            for (std::size_t at = 0; at < c.sound.size(); at += block)
                heard += decoder.feed(std::span(c.sound).subspan(at, std::min(block, c.sound.size() - at)));
            EXPECT_EQ(heard, c.sequences);
        }
    }
}

// The acceptance points of ITU-T Q.24 with margin, and what must stay rejected: every key, at
// -20 dBFS for the louder tone, pressed once or twice 40 ms apart.
TEST(Dtmf, EveryKeyWithinTheStandardsLimits) {
    const struct {
        const char* name;
        Shape shape;
        int ms;
        int presses; // heard; 0: rejected
    } cases[] = {
        {"40 ms", {}, 40, 1},
        {"same key twice", {}, 60, 2},
        {"high tone 4 dB above the low", {.highDb = 4}, 100, 1},
        {"high tone 6 dB above", {.highDb = 6}, 100, 1},
        {"high tone 8 dB below the low", {.highDb = -8}, 100, 1},
        {"high tone 10 dB below, twice", {.highDb = -10}, 100, 2},
        {"high tone 14 dB below", {.highDb = -14}, 100, 0},
        {"3.5 % high", {.frequencyFactor = 1.035}, 100, 0},
        {"3.5 % low", {.frequencyFactor = 0.965}, 100, 0},
        {"20 ms", {}, 20, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char key : std::string_view("123A456B789C*0#D")) {
            std::vector<std::pair<char, int>> parts;
            for (int press = 0; press < std::max(1, c.presses); ++press)
                parts.insert(parts.end(), {{key, c.ms}, {'_', 40}});
            parts.push_back({'_', 1600});
            DtmfDecoder decoder;
            const double loudest = 3277 / std::max(1.0, std::pow(10, c.shape.highDb / 20));
            EXPECT_EQ(decoder.feed(audio(parts, loudest, c.shape)),
                      c.presses ? QStringList{QString(c.presses, QLatin1Char(key))} : QStringList{})
                << key;
        }
    }
}

// Our own transmission is not heard as DTMF, and the channel is busy while someone speaks.
TEST(Dtmf, ReceiverIgnoresOurTransmissionAndHearsTheChannelBusy) {
    ReceiverProcessor receiver(ReceiverOptions{.busyHoldMs = 200});
    const Audio digit = audio({{'9', 100}, {'_', 500}});
    EXPECT_TRUE(receiver.process(digit, 1).sequences.isEmpty()) << "while transmitting";
    receiver.process(audio({{'_', 400}}), 2);
    receiver.process(digit, 2);
    EXPECT_EQ(receiver.process(audio({{'_', 1600}}), 2).sequences, QStringList{u"9"_s});
    EXPECT_EQ(receiver.process(audio({{'4', 500}}), 2).busyChanges, QList<bool>{true});
    EXPECT_EQ(receiver.process(audio({{'_', 500}}), 2).busyChanges, QList<bool>{false});
}

} // namespace
