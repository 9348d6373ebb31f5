// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipPlayer.h"

#include "ProgressDisplay.h"
#include "SecondsText.h"

#include <cmath>
#include <limits>

std::optional<int> WholeSeconds(double seconds) {
    const double whole = std::nearbyint(seconds);
    if (!(whole >= std::numeric_limits<short>::min() && whole <= std::numeric_limits<short>::max()))
        return std::nullopt;
    return static_cast<int>(whole);
}

bool ClipPlayer::LoadClip(const QString& path, ProgressDisplay& progress, QString* error) {
    CleanUp();
    const std::shared_ptr<FilterGraph> graph = factory_.CreateGraph();
    GraphControl = graph;
    GraphAudio = graph;
    GraphPosition = graph;
    if (!GraphControl->RenderFile(path, error))
        return false;
    const auto duration = GraphPosition->Duration();
    if (!duration) {
        *error = QStringLiteral("the length of %1 cannot be read").arg(path);
        return false;
    }
    const auto whole = WholeSeconds(*duration);
    if (!whole) {
        *error = QStringLiteral("%1 is too long (%2 s)").arg(path, SecondsText(*duration));
        return false;
    }
    progress.SetH1Max(*whole);
    progress.SetText3(SecondsText(*duration));
    return true;
}

void ClipPlayer::CleanUp() {
    GraphControl.reset();
    GraphAudio.reset();
    GraphPosition.reset();
}

bool ClipPlayer::StartClip() {
    if (!GraphControl || !GraphControl->Run())
        return false;
    if (started)
        started();
    return GraphPosition->SetCurrentPosition(0);
}

bool ClipPlayer::PlaybackFailed() const {
    return GraphControl && GraphControl->PlaybackFailed();
}

bool ClipPlayer::StillSounding() const {
    return GraphControl && GraphControl->StillSounding();
}

bool ClipPlayer::applyVolume(int hundredthsOfDb) {
    return GraphAudio && GraphAudio->SetVolume(hundredthsOfDb);
}

bool ClipPlayer::applyRate(double rate) {
    return GraphPosition && GraphPosition->SetRate(rate);
}

bool ClipPlayer::seek(double seconds) {
    if (!GraphPosition)
        return false;
    const bool moved = GraphPosition->SetCurrentPosition(seconds);
    // Whether or not the clip moved, the bar shows where it is again, not where it was dropped.
    if (started)
        started();
    return moved;
}

bool ClipPlayer::stop() {
    return GraphControl && GraphControl->Stop();
}
