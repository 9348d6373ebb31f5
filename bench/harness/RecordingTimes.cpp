// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingTimes.h"

#include "EndToEndVoice.h"

#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace e2e {

namespace {
qint64 bytesUs(qint64 bytes) {
    return bytes * 1'000'000 / RecordBytesPerSecond;
}

// The test voice's tones peak at half of full scale; their 5 ms fades pass this in 0.03 ms.
constexpr int QuietLevel = 100;

bool loud(const QByteArray& audio, qint64 byte) {
    return std::abs(qFromLittleEndian<qint16>(audio.constData() + byte)) >= QuietLevel;
}

// The longest run of quiet samples in bytes [from, to), if one is long enough not to be a tone
// passing through zero.
std::optional<Boundary> quietRun(const QByteArray& audio, qint64 from, qint64 to) {
    constexpr qint64 Shortest = 3 * 2;
    from = std::max<qint64>(from, 0) & ~qint64(1);
    to = std::min<qint64>(to, audio.size()) & ~qint64(1);
    std::optional<Boundary> best;
    for (qint64 at = from; at < to;) {
        if (loud(audio, at)) {
            at += 2;
            continue;
        }
        qint64 end = at;
        while (end < to && !loud(audio, end))
            end += 2;
        if (end - at >= Shortest && (!best || end - at > best->sound - best->silence))
            best = Boundary{at, end};
        at = end;
    }
    return best;
}
} // namespace

std::optional<qint64> soundBegins(const QByteArray& audio, qint64 from, qint64 to) {
    to = std::min<qint64>(to, audio.size()) & ~qint64(1);
    for (qint64 at = std::max<qint64>(from, 0) & ~qint64(1); at < to; at += 2) {
        if (loud(audio, at))
            return at;
    }
    return std::nullopt;
}

std::optional<qint64> soundEnds(const QByteArray& audio, qint64 from, qint64 to) {
    from = std::max<qint64>(from, 0) & ~qint64(1);
    for (qint64 at = (std::min<qint64>(to, audio.size()) & ~qint64(1)) - 2; at >= from; at -= 2) {
        if (loud(audio, at))
            return at + 2;
    }
    return std::nullopt;
}

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

std::vector<Boundary> clipBoundaries(const std::vector<Chunk>& chunks, const QByteArray& audio,
                                     QStringList* stems) {
    std::vector<Boundary> result;
    if (chunks.empty())
        return result;
    const qint64 first = chunks.front().begin & ~qint64(1);
    const QList<HeardClip> heard = identifyClips(audio.mid(first, chunks.back().end - first));
    *stems = stemsOf(heard);
    // The identified start is the first 20 ms window mostly of the new tone, so the boundary
    // lies up to a window on either side of it.
    for (qsizetype i = 1; i < heard.size(); ++i) {
        const qint64 identified = first + (qint64(heard[i].startSeconds * RecordBytesPerSecond) & ~qint64(1));
        const qint64 from = identified - RecordBytesPerSecond * 60 / 1000;
        const qint64 to = identified + RecordBytesPerSecond * 25 / 1000;
        // The output plays silence between two clips.
        if (const auto quiet = quietRun(audio, from, to)) {
            result.push_back(*quiet);
            continue;
        }
        // An output that opens a stream for each clip leaves a pause instead: the next clip's first
        // chunk comes later than the chunk before it made the next one due.
        qint64 boundary = -1;
        qint64 largestDelay = 0;
        for (size_t c = 1; c < chunks.size(); ++c) {
            if (chunks[c].begin > to || chunks[c].begin < from)
                continue;
            const qint64 delay =
                chunks[c].us - (chunks[c - 1].us + bytesUs(chunks[c - 1].end - chunks[c - 1].begin));
            if (boundary < 0 || delay > largestDelay) {
                boundary = chunks[c].begin;
                largestDelay = delay;
            }
        }
        result.push_back({boundary, boundary});
    }
    return result;
}

std::vector<double> silencesMs(const std::vector<Chunk>& chunks, const std::vector<Boundary>& boundaries) {
    std::vector<double> silences;
    for (const Boundary& b : boundaries) {
        if (b.silence >= 0)
            silences.push_back(
                double(heardAtUs(chunks, b.sound, false) - heardAtUs(chunks, b.silence, true)) / 1000.0);
    }
    return silences;
}

} // namespace e2e
