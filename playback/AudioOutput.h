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
    explicit ClipFeed(GstElement* appsink);
    const GstRef<GstElement> sink;

    std::mutex mutex;
    gint64 reached = 0;               // stream time, in nanoseconds, at the end of the audio taken
    bool ended = false;               // every sample of the clip has been taken
    bool seeking = false;             // a seek is under way: what the output takes says nothing yet
    std::atomic<gint64> taken{0};     // nanoseconds of audio taken, over all seeks
    std::atomic<unsigned> flushes{0}; // audio decoded before the last flush is stale
    std::atomic<float> gain{1.0F};    // applied as the output takes the audio, so heard at once
};

// One stream on the audio output for every clip played on it:
//   appsrc ! audioconvert ! audioresample ! <output>
// A thread of its own starts the stream, hands the output the attached clip's audio as the
// output takes it (silence whenever no clip has any, so the stream never runs dry between two
// clips) and stops the stream again. It never waits on the output without a bound, except in
// the state changes themselves: an output that hangs there holds that one thread, and every
// later try fails at once until it lets go. The stream closes itself once IdleCloseMs of
// silence have been played, so an idle clock costs nothing.
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

    // The longest the transmitter may stay keyed (0: no limit): an output that buffers that
    // much is refused, and nothing is held longer.
    void setLongestHold(int milliseconds) { longestHoldMs_ = milliseconds; }

    // Opens the stream unless it is open, within timeoutMs, or fails with a reason that names
    // the output (and `clip`, the file that was to play on it). An output known to hang, or
    // still held by a stream that does not let go, fails at once.
    bool open(const QString& clip, int timeoutMs, QString* error);
    // From now on the output takes its audio from `feed`; false when the stream has closed.
    bool attach(std::shared_ptr<ClipFeed> feed);
    // Stops taking audio from `feed`, if it is the attached one.
    void detach(const ClipFeed* feed);
    // An error on the output since the stream opened, or an output that stopped taking audio.
    bool failed(QString* why = nullptr);
    // Audio taken from a clip is still to be heard.
    bool sounding();

    // The open stream's pipeline, or null once it has closed; for diagnostics and tests.
    GstElement* pipeline() const;

    static constexpr int IdleCloseMs = 1500;
    // An output that takes nothing for this long hangs.
    static constexpr int HangMs = 1000;

private:
    struct Stream;
    static void run(std::shared_ptr<Stream> stream);
    static void pump(Stream& stream);
    // Waits at most timeoutMs for the stream to let go of the output.
    static bool letGo(Stream& stream, int timeoutMs);
    QString name() const;

    const QString description_;
    std::shared_ptr<Stream> stream_;
    int longestHoldMs_ = 0;
};
