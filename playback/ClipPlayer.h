#pragma once

#include "FilterGraph.h"

#include <memory>

// Holds the current graph through its three facets; all three are set or all are empty.
// Dropping the last reference to a graph ends its playback and frees it.
class ClipPlayer {
public:
    explicit ClipPlayer(GraphFactory& factory)
        : factory_(factory) {}

    void CleanUp();

    // Each returns false when there is no clip or the graph refused; callers that ignore
    // failures (the scroll bars, the starters) simply do not look.
    bool applyVolume(int hundredthsOfDb);
    bool applyRate(double rate);
    bool seek(double seconds);
    bool StartClip();
    bool stop();

    std::shared_ptr<MediaControl> GraphControl;
    std::shared_ptr<BasicAudio> GraphAudio;
    std::shared_ptr<MediaPosition> GraphPosition;

private:
    GraphFactory& factory_;
};
