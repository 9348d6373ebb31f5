#include "ClipPlayer.h"

void ClipPlayer::CleanUp() {
    GraphControl.reset();
    GraphAudio.reset();
    GraphPosition.reset();
}

bool ClipPlayer::applyVolume(int hundredthsOfDb) {
    return GraphAudio && GraphAudio->SetVolume(hundredthsOfDb);
}

bool ClipPlayer::applyRate(double rate) {
    return GraphPosition && GraphPosition->SetRate(rate);
}

bool ClipPlayer::seek(double seconds) {
    return GraphPosition && GraphPosition->SetCurrentPosition(seconds);
}

bool ClipPlayer::StartClip() {
    if (!GraphControl || !GraphControl->Run())
        return false;
    return GraphPosition->SetCurrentPosition(0);
}

bool ClipPlayer::stop() {
    return GraphControl && GraphControl->Stop();
}
