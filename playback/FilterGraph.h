// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>
#include <optional>

// One media graph plays one clip. The program sees it through three facets, as the player
// keeps three references to the same graph: control, audio and position. Every call returns
// whether it worked; callers that ignore failures say so where they call.
class MediaControl {
public:
    virtual ~MediaControl() = default;
    // Prepares the whole file for playback on the audio output, or fails with a reason.
    virtual bool RenderFile(const QString& path, QString* error) = 0;
    virtual bool Run() = 0;
    virtual bool Stop() = 0;
    // True once playback has broken down (the output failed under the clip): the clip will
    // never reach its end. A graph that cannot break down that way keeps this default.
    virtual bool PlaybackFailed() const { return false; }
    // True while audio of a clip that has ended is still on its way out of the output, which
    // buffers a little: the transmitter must stay keyed until it has been heard.
    virtual bool StillSounding() const { return false; }
};

class BasicAudio {
public:
    virtual ~BasicAudio() = default;
    // Hundredths of a decibel: 0 is full level, -3000 is thirty decibels down.
    virtual bool SetVolume(int hundredthsOfDb) = 0;
};

class MediaPosition {
public:
    virtual ~MediaPosition() = default;
    virtual std::optional<double> Duration() const = 0;
    // After the end of the stream the position reads exactly the duration.
    virtual std::optional<double> CurrentPosition() const = 0;
    virtual bool SetCurrentPosition(double seconds) = 0;
    virtual bool SetRate(double rate) = 0;
};

class FilterGraph : public MediaControl, public BasicAudio, public MediaPosition {};

// Makes a fresh, independent graph for every clip.
class GraphFactory {
public:
    virtual ~GraphFactory() = default;
    virtual std::shared_ptr<FilterGraph> CreateGraph() = 0;
};
