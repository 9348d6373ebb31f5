// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Loads the clip of the step in ClipStep and may move SequenceStep on: the composer. It
// sits above playback, so the sequencer knows it only through this.
class StepLoader {
public:
    virtual ~StepLoader() = default;
    // False when the load failed; the loader has then ended the announcement itself.
    virtual bool LoadFile() = 0;
};
