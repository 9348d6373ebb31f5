// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What playback reads of the main window: which chain the announcement follows, the volume
// and speed bars, and the sequencer's timer. Read at the moment they are needed.
class PlaybackPanel {
public:
    virtual ~PlaybackPanel() = default;
    // Check boxes: 0 unchecked, 1 checked, 2 greyed.
    virtual int Check1() const = 0; // "Hr / Min": the long chain
    virtual int Check2() const = 0; // a chime or greeting first
    virtual int V1() const = 0;     // volume, hundredths of a decibel
    virtual int V2() const = 0;     // speed in percent
    virtual void SetTimer2Enabled(bool enabled) = 0;
};
