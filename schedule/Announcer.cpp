// SPDX-License-Identifier: GPL-3.0-or-later
#include "Announcer.h"

#include "ClipPlayer.h"
#include "PlaybackPanel.h"
#include "StepLoader.h"

void Announcer::SayAudioTime() {
    Start(p_.panel.Check2() == 1 ? Step::Preamble : Step::TheTimeIs);
}

void Announcer::SayAudioTimeForDtmf() {
    Start(Step::TheTimeIs);
}

// The steps are set after the load: the first load works with what the last announcement
// left behind.
void Announcer::Start(int firstStep) {
    // A failed load has already ended the announcement and released the transmitter.
    if (!p_.composer.LoadFile())
        return;
    // With no clip loaded (the first long announcement) these change nothing, by design.
    p_.player.applyVolume(p_.panel.V1());
    p_.player.applyRate(p_.panel.V2() / 100.0);
    p_.player.StartClip();
    p_.state.ClipStep = firstStep;
    p_.state.SequenceStep = firstStep;
    p_.panel.SetTimer2Enabled(true);
}
