// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GstSupport.h"

#include <QString>

#include <gst/gst.h>

#include <atomic>
#include <memory>
#include <mutex>

// A clip's decoded audio, waiting in an appsink for the output to take it, and how far the
// output has taken it. Shared by the clip (main thread) and the output's pump thread.
struct ClipFeed {
    explicit ClipFeed(GstElement* appsink)
        : sink(GstRef<GstElement>::share(appsink)) {}
    const GstRef<GstElement> sink;

    std::mutex mutex;
    gint64 reached = 0;           // stream time, in nanoseconds, at the end of the audio taken
    bool ended = false;           // every sample of the clip has been taken
    unsigned generation = 0;      // a seek makes what was taken before it stale
    std::atomic<gint64> taken{0}; // nanoseconds of audio taken, over all seeks
};

// One stream on the audio output for every clip played on it:
//   appsrc ! audioconvert ! audioresample ! <output>
// A thread of its own hands the output the attached clip's audio as the output takes it, and
// silence whenever no clip has any, so the stream never runs dry between two clips: the next
// clip follows without the output opening a stream, filling a buffer or losing a start again.
// The stream closes itself after IdleCloseMs of silence, so an idle clock costs nothing.
class AudioOutput {
public:
    // The output of a sink description, shared by every clip that plays on it; an empty
    // description is the desktop's default output.
    static std::shared_ptr<AudioOutput> forSink(const QString& description);

    explicit AudioOutput(QString description);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // What every clip must deliver: 32-bit float, mono, 48 kHz.
    static GstCaps* newClipCaps();

    // Opens the stream unless it is open, within timeoutMs, or fails with a reason that names
    // the output (and `clip`, the file that was to play on it).
    bool open(const QString& clip, int timeoutMs, QString* error);
    // From now on the output takes its audio from `feed`; false when the stream has closed.
    bool attach(std::shared_ptr<ClipFeed> feed);
    // Stops taking audio from `feed`, if it is the attached one.
    void detach(const ClipFeed* feed);
    // An error on the output since the stream opened.
    bool failed();
    // Audio taken from a clip is still to be heard.
    bool sounding();

    // The open stream's pipeline, or null once it has closed; for diagnostics and tests.
    GstElement* pipeline() const;

    static constexpr int IdleCloseMs = 1500;

private:
    struct Stream;
    static void pump(std::shared_ptr<Stream> stream);
    void close(int timeoutMs);

    const QString description_;
    std::shared_ptr<Stream> stream_;
};
