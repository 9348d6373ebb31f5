// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingTimes.h"

#include "EndToEndVoice.h"

#include <algorithm>
#include <optional>

namespace e2e {

namespace {
qint64 bytesUs(qint64 bytes) {
    return bytes * 1'000'000 / RecordBytesPerSecond;
}
} // namespace

std::vector<Chunk> chunksOf(const std::vector<Event>& events) {
    std::vector<Chunk> chunks;
    for (const Event& e : events) {
        if (e.kind == Event::Kind::Audio)
            chunks.push_back({e.us, e.audioBegin, e.audioEnd});
    }
    return chunks;
}

qint64 heardAtUs(const std::vector<Chunk>& chunks, qint64 at, bool before) {
    // Each chunk bounds the moment from above, and the earliest bound is the closest. Only the
    // few chunks next to `at` count: those further away may belong to another clip, or to a
    // moment the sink fell behind.
    constexpr int Near = 3;
    std::optional<qint64> bound;
    int used = 0;
    const auto consider = [&](const Chunk& c) {
        const qint64 us = c.us + bytesUs(at - c.begin);
        bound = bound ? std::min(*bound, us) : us;
        ++used;
    };
    if (before) {
        for (auto c = chunks.rbegin(); c != chunks.rend() && used < Near; ++c) {
            if (c->begin < at)
                consider(*c);
        }
    } else {
        for (auto c = chunks.begin(); c != chunks.end() && used < Near; ++c) {
            if (c->end > at)
                consider(*c);
        }
    }
    return bound.value_or(0);
}

std::vector<qint64> clipBoundaries(const std::vector<Chunk>& chunks, const QByteArray& audio,
                                   QStringList* stems) {
    std::vector<qint64> result;
    if (chunks.empty())
        return result;
    const qint64 first = chunks.front().begin & ~qint64(1);
    const QList<HeardClip> heard = identifyClips(audio.mid(first, chunks.back().end - first));
    *stems = stemsOf(heard);
    // Each clip is a stream of its own, started when the one before has ended, so its first chunk
    // comes later than the chunk before it made the next one due; within a stream each chunk is due
    // as the one before ends. The identified start is the first 20 ms window mostly of the new
    // tone, so the stream's first byte lies up to a window on either side of it.
    for (qsizetype i = 1; i < heard.size(); ++i) {
        const qint64 identified = first + qint64(heard[i].startSeconds * RecordBytesPerSecond);
        qint64 boundary = -1;
        qint64 largestDelay = 0;
        for (size_t c = 1; c < chunks.size(); ++c) {
            if (chunks[c].begin > identified + RecordBytesPerSecond * 25 / 1000 ||
                chunks[c].begin < identified - RecordBytesPerSecond * 60 / 1000)
                continue;
            const qint64 delay =
                chunks[c].us - (chunks[c - 1].us + bytesUs(chunks[c - 1].end - chunks[c - 1].begin));
            if (boundary < 0 || delay > largestDelay) {
                boundary = chunks[c].begin;
                largestDelay = delay;
            }
        }
        result.push_back(boundary);
    }
    return result;
}

std::vector<double> silencesMs(const std::vector<Chunk>& chunks, const std::vector<qint64>& boundaries) {
    std::vector<double> silences;
    for (const qint64 b : boundaries) {
        if (b >= 0)
            silences.push_back(double(heardAtUs(chunks, b, false) - heardAtUs(chunks, b, true)) / 1000.0);
    }
    return silences;
}

} // namespace e2e
