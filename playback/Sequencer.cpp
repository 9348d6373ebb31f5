// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sequencer.h"

#include "ClipPlayer.h"
#include "PlaybackPanel.h"
#include "ProgressDisplay.h"
#include "StepLoader.h"
#include "TransmitKeying.h"

#include <array>

namespace {
struct Row {
    int step;
    bool longChainOnly;
    bool needsPreamble;
    int clipStepAfter; // -1: the resting step
};

// In the order of the chain, so that the step that follows a re-issued one is issued in the
// same pass.
constexpr std::array<Row, 7> Rows{{
    {Step::Preamble, false, true, 0},
    {Step::TheTimeIs, false, false, 0},
    {Step::HourNumber, false, false, 0},
    {Step::HourWord, true, false, 0},
    {Step::MinuteNumber, false, false, Step::Preamble},
    {Step::MinuteWord, true, false, Step::Preamble},
    {Step::Final, false, false, -1},
}};
} // namespace

void Sequencer::Timer2_Timer() {
    if (p_.progress.ClipEnded()) {
        const bool longChain = p_.panel.Check1() != 0;
        if (!p_.state.SequenceStep || !HasRow(*p_.state.SequenceStep, longChain)) {
            // The chain was changed under a running announcement: nothing could ever follow.
            EndAnnouncement();
        } else {
            for (const Row& row : Rows) {
                if ((row.longChainOnly && !longChain) || (row.needsPreamble && p_.panel.Check2() != 1) ||
                    p_.state.SequenceStep != row.step)
                    continue;
                if (!IssueStep(row.step))
                    break; // the composer has ended the announcement
                p_.state.ClipStep = row.clipStepAfter >= 0   ? row.clipStepAfter
                                    : p_.panel.Check2() == 1 ? Step::Preamble
                                                             : Step::TheTimeIs;
            }
        }
    }
    RefreshProgress(p_.player, p_.progress);
}

bool Sequencer::IssueStep(int n) {
    p_.state.ClipPath.clear();
    p_.state.ClipStep = n;
    if (!TXFile())
        return false;
    p_.player.applyVolume(p_.panel.V1()); // with a failed start there is nothing to change
    p_.player.applyRate(p_.panel.V2() / 100.0);
    return true;
}

bool Sequencer::TXFile() {
    p_.state.ClipPath.clear();
    if (!p_.composer.LoadFile())
        return false;
    // No duration can read like this, so the clip counts as playing until the next refresh.
    p_.progress.SetText2(QStringLiteral("00:00:00"));
    p_.keying.PttOn();
    p_.player.StartClip();
    return true;
}

bool Sequencer::HasRow(int step, bool longChain) const {
    for (const Row& row : Rows) {
        if (row.step == step && (longChain || !row.longChainOnly) &&
            (!row.needsPreamble || p_.panel.Check2() == 1))
            return true;
    }
    return false;
}

void Sequencer::EndAnnouncement() {
    p_.panel.SetTimer2Enabled(false);
    const int resting = p_.panel.Check2() == 1 ? Step::Preamble : Step::TheTimeIs;
    p_.state.ClipStep = resting;
    p_.state.SequenceStep = resting;
    p_.state.AnnounceBusy = 0;
}
