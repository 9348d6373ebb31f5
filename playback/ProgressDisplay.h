// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ClipPlayer;

// The "Progresso" frame of the window: the loaded clip's duration (Text1, Text3), its
// position (Text2) and the position bar H1, in whole seconds.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual QString Text2() const = 0;
    virtual QString Text3() const = 0;
    virtual void SetText1(const QString& text) = 0;
    virtual void SetText2(const QString& text) = 0;
    virtual void SetText3(const QString& text) = 0;
    virtual void SetH1Max(int seconds) = 0;
    virtual void SetH1Value(int seconds) = 0;

    // The end-of-clip test: the position text has reached the duration text. Before any
    // clip was loaded both read "00:00:00", and the test holds.
    bool ClipEnded() const { return Text2() == Text3(); }
};

// Copies the player's position and duration into the display; with no clip loaded each
// part changes nothing.
void RefreshProgress(const ClipPlayer& player, ProgressDisplay& progress);
