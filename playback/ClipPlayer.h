// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FilterGraph.h"

#include <functional>
#include <memory>
#include <optional>

class ProgressDisplay;

// Seconds rounded to a whole number, halves to even, as the position bar takes them; empty
// when the result does not fit the bar's 16-bit range.
std::optional<int> WholeSeconds(double seconds);

// Plays one clip at a time. Holds the current graph through its three facets; all three are
// set or all are empty. Dropping the last reference to a graph ends its playback and frees it.
class ClipPlayer {
public:
    explicit ClipPlayer(GraphFactory& factory)
        : factory_(factory) {}

    // Drops the current clip, then prepares `path` in a fresh graph and shows its duration
    // (H1's maximum and Text3). Does not start it. On failure the reason is in *error and
    // the display keeps what the last successful load showed.
    bool LoadClip(const QString& path, ProgressDisplay& progress, QString* error);
    void CleanUp();
    // Starts the loaded clip from its beginning.
    bool StartClip();
    // The loaded clip can no longer play to its end: its output failed under it.
    bool PlaybackFailed() const;
    // The clip has ended but the output has not yet played all of it.
    bool StillSounding() const;

    // Each returns false when there is no clip or the graph refused; callers that ignore
    // failures (the scroll bars, the starters) simply do not look.
    bool applyVolume(int hundredthsOfDb);
    bool applyRate(double rate);
    bool seek(double seconds);
    bool stop();

    // Told whenever a clip starts or moves, so that whoever follows its position can wake up.
    std::function<void()> started;

    std::shared_ptr<MediaControl> GraphControl;
    std::shared_ptr<BasicAudio> GraphAudio;
    std::shared_ptr<MediaPosition> GraphPosition;

private:
    GraphFactory& factory_;
};
