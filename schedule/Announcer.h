// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AnnouncementState.h"

class ClipPlayer;
class PlaybackPanel;
class StepLoader;

// Starts one announcement of the current time now: for the "Envia hora (RF)" button, the
// clock and a DTMF request. Nothing checks for an announcement already playing: a new start
// runs over it and the chain begins again.
class Announcer {
public:
    struct Parts {
        AnnouncementState& state;
        PlaybackPanel& panel;
        StepLoader& composer;
        ClipPlayer& player;
    };

    explicit Announcer(Parts parts)
        : p_(parts) {}

    // The chain goes on from the preamble when the window asks for one, else from "TheTimeIs".
    void SayAudioTime();
    // A DTMF request always goes on from "TheTimeIs": the first clip is playing already.
    void SayAudioTimeForDtmf();

private:
    void Start(int firstStep);

    Parts p_;
};
