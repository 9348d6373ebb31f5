// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "EndToEndRun.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

// When what the recording holds was heard. The sink writes each buffer to the pipe the moment
// its first sample is due, and the reader stamps it when it arrives: never earlier.
namespace e2e {

// One read from the recording pipe: bytes `begin` to `end` of the recording, read at `us`.
struct Chunk {
    qint64 us, begin, end;
};

std::vector<Chunk> chunksOf(const std::vector<Event>& events);

// When byte `at` of the recording was heard, on the run's clock in microseconds: the closest of
// the bounds that the chunks just before it (`before`) or just from it on give.
qint64 heardAtUs(const std::vector<Chunk>& chunks, qint64 at, bool before);

// Where each clip after the first begins in the recording, or -1 where that cannot be told; the
// clips heard go to *stems.
std::vector<qint64> clipBoundaries(const std::vector<Chunk>& chunks, const QByteArray& audio,
                                   QStringList* stems);

// The silence at each boundary, in milliseconds: from the end of one clip to the next.
std::vector<double> silencesMs(const std::vector<Chunk>& chunks, const std::vector<qint64>& boundaries);

} // namespace e2e
