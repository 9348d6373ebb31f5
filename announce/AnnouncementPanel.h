// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PlaybackPanel.h"

#include <QString>

// What the composer reads and changes of the main window, beyond what playback reads. Every
// value is read at the moment the composer needs it: the clock fields change once a second
// during an announcement.
class AnnouncementPanel : public PlaybackPanel {
public:
    virtual int AMPM() const = 0;
    virtual bool Option5() const = 0; // chime 1
    virtual bool Option6() const = 0; // chime 2
    virtual bool Option9() const = 0; // greeting by the hour of day
    virtual bool OptionWAV() const = 0;
    virtual QString FileLocation() const = 0;
    virtual QString HH() const = 0;
    virtual QString MM() const = 0;
    virtual QString AM_PM() const = 0;
    // The hour of the local time now, 0 to 23, whatever the 12/24-hour choice.
    virtual int LocalHour() const = 0;

    // What a failed load changes: the English voice in WAV, and a message for the operator.
    virtual void SelectOption3() = 0;
    virtual void SetFileLocation(const QString& folder) = 0;
    virtual void SelectOptionWAV() = 0;
    virtual void ShowRenderError(const QString& text, const QString& clipPath, const QString& reason) = 0;
};
