// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "EndToEndRun.h"

#include <QByteArray>
#include <QStringList>

#include <optional>
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

// Where sound begins in bytes [from, to) of the recording, or where the last sound in it ends.
// The output plays silence between clips, and before and after an announcement.
std::optional<qint64> soundBegins(const QByteArray& audio, qint64 from, qint64 to);
std::optional<qint64> soundEnds(const QByteArray& audio, qint64 from, qint64 to);

// Between two clips: where the silence after one begins and where the next one's sound begins,
// in bytes of the recording; the same place where no silent sample lies between them (the
// output's stream paused instead), and -1 where the boundary cannot be told.
struct Boundary {
    qint64 silence = -1;
    qint64 sound = -1;
};

// The boundary before each clip after the first; the clips heard go to *stems.
std::vector<Boundary> clipBoundaries(const std::vector<Chunk>& chunks, const QByteArray& audio,
                                     QStringList* stems);

// The silence at each boundary, in milliseconds: from the end of one clip's sound to the next.
std::vector<double> silencesMs(const std::vector<Chunk>& chunks, const std::vector<Boundary>& boundaries);

} // namespace e2e
