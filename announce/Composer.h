// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AnnouncementPanel.h"
#include "AnnouncementState.h"
#include "StepLoader.h"

#include <QString>

#include <optional>

class ClipPlayer;
class ProgressDisplay;
class TransmitKeying;

// The announcement composer: for the step in ClipStep it picks the clip from the voice
// library, loads it into the player and moves the chain on. It never starts playback.
class Composer : public StepLoader {
public:
    struct Parts {
        AnnouncementState& state;
        AnnouncementPanel& panel;
        ClipPlayer& player;
        ProgressDisplay& progress;
        TransmitKeying& keying;
        QString programFolder; // without a trailing "/"
        QString voicesHelp;    // where operators learn how to get voice files
    };

    explicit Composer(Parts parts)
        : p_(std::move(parts)) {}

    // Loads the clip of ClipStep. A failed load (a missing or broken clip, no audio output)
    // switches to the English voice, releases the transmitter, ends the announcement, tells
    // the operator and returns false.
    bool LoadFile() override;

    // Ends the running announcement at once: the transmitter released, the sequencer stopped,
    // the chain back at its start and the player empty.
    void EndAnnouncement();

    // The text of the operator's message after a failed load.
    QString RenderErrorText() const;

private:
    bool ShortChain(QString* error);
    bool LongChain(QString* error);
    bool FinalStep(QString* error);
    bool LoadWithKeying(const std::optional<QString>& stem, int step, QString* error);
    bool PlainLoad(const QString& stem, int step, QString* error);
    bool Load(QString* error);
    void Advance(int loadedStep);
    std::optional<QString> PreambleStem(bool shortChain) const;
    QString Greeting() const;
    QString PathOf(const QString& stem) const;
    int RestingStep() const;
    void FailurePath(const QString& reason);

    Parts p_;
};
