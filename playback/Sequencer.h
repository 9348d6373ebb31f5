// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AnnouncementState.h"

class ClipPlayer;
class PlaybackPanel;
class ProgressDisplay;
class StepLoader;
class TransmitKeying;

// Plays an announcement's clips one after the other. It polls: on every tick of Timer2 it
// checks whether the playing clip has ended and, if so, issues the step in SequenceStep.
class Sequencer {
public:
    struct Parts {
        AnnouncementState& state;
        PlaybackPanel& panel;
        StepLoader& composer;
        ClipPlayer& player;
        ProgressDisplay& progress;
        TransmitKeying& keying;
    };

    explicit Sequencer(Parts parts)
        : p_(parts) {}

    void Timer2_Timer();
    // Plays the clip of step n at the current volume and speed; false when its load failed.
    bool IssueStep(int n);
    // Plays the clip of ClipStep; false when its load failed, and then keys nothing.
    bool TXFile();

private:
    bool HasRow(int step, bool longChain) const;
    void EndAnnouncement();

    Parts p_;
};
