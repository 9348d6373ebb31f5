// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgressDisplay.h"

#include "ClipPlayer.h"
#include "SecondsText.h"

void RefreshProgress(const ClipPlayer& player, ProgressDisplay& progress) {
    if (!player.GraphPosition)
        return;
    const auto position = player.GraphPosition->CurrentPosition();
    const auto duration = player.GraphPosition->Duration();
    if (position) {
        if (const auto whole = WholeSeconds(*position))
            progress.SetH1Value(*whole);
    }
    if (duration)
        progress.SetText1(SecondsText(*duration));
    if (position)
        progress.SetText2(SecondsText(*position));
}
