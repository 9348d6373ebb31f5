#include "ClipPlayer.h"

void ClipPlayer::CleanUp() {
    GraphControl.reset();
    GraphAudio.reset();
    GraphPosition.reset();
}

bool ClipPlayer::ApplyVolume(int hundredthsOfDb) {
    return GraphAudio && GraphAudio->SetVolume(hundredthsOfDb);
}

bool ClipPlayer::ApplyRate(double rate) {
    return GraphPosition && GraphPosition->SetRate(rate);
}

bool ClipPlayer::Seek(double seconds) {
    return GraphPosition && GraphPosition->SetCurrentPosition(seconds);
}

bool ClipPlayer::StartClip() {
    if (!GraphControl || !GraphControl->Run())
        return false;
    return GraphPosition->SetCurrentPosition(0);
}

bool ClipPlayer::Stop() {
    return GraphControl && GraphControl->Stop();
}
