// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioOutput.h"
#include "FilterGraph.h"
#include "GstSupport.h"

#include <QString>

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

// One clip in one pipeline of its own, decoded into the output that every clip shares:
//   filesrc ! decodebin ! audioconvert ! audioresample ! scaletempo ! audioconvert ! appsink
// scaletempo keeps the pitch when the rate changes; the converters on either side let it work
// in its own format and deliver the output's. The level is applied by the output as it takes the
// audio, so a change is heard at once. The position is how far the output has taken the clip, and
// the clip ends when the output has taken its last sample: the next clip's audio follows on the
// same stream, without a gap. The pipeline lives exactly as long as this object: destruction
// detaches it from the output and sets it to NULL. Every call comes from one thread, and none waits
// on the output for more than a second or two: a call that overruns is abandoned with the pipeline.
// No main loop is needed: the calls drain the pipeline's own bus without waiting. After an error the
// clip is dead: the position stays where it was and the other calls fail.
class GstGraph final : public FilterGraph, public std::enable_shared_from_this<GstGraph> {
public:
    // An empty description plays on the desktop's default output and refuses to load when
    // there is none; otherwise the description is a gst-launch style chain ending in a sink.
    // longestHoldMs is the transmit time-out (0: none), which bounds how long the output may buffer.
    explicit GstGraph(const QString& sinkDescription, int longestHoldMs = 0);
    ~GstGraph() override;
    GstGraph(const GstGraph&) = delete;
    GstGraph& operator=(const GstGraph&) = delete;

    // Opens the output unless it is open and leaves the clip prerolled and paused at its start,
    // or fails within LoadTimeoutMs with a reason that tells a missing file, an undecodable one
    // and a missing output apart.
    bool RenderFile(const QString& path, QString* error) override;
    // Returns at once; the clip plays on GStreamer's threads.
    bool Run() override;
    // Pauses and returns to the start; the clip stays loaded and plays again on Run.
    bool Stop() override;
    // An error after the load, the clip's or the output's, or an output that stopped taking audio.
    bool PlaybackFailed() const override;
    bool StillSounding() const override;
    // -10000 (a hundred decibels down) to 0 (full level).
    bool SetVolume(int hundredthsOfDb) override;

    // Fixed when the clip is loaded: the length the file declares or, when it declares none,
    // the length of its decoded audio. The position reaches it only when the audio ends.
    std::optional<double> Duration() const override;
    // Reads exactly the duration once the stream has ended, until a seek moves away from the end.
    std::optional<double> CurrentPosition() const override;
    // Clamped to the clip; keeps the current rate.
    bool SetCurrentPosition(double seconds) override;
    // Accepts 0.1 to 2.0 and keeps it for later seeks; a clip that has ended stays ended.
    bool SetRate(double rate) override;

    // The loaded pipeline, or null; for diagnostics and tests.
    GstElement* pipeline() const { return pipeline_.get(); }
    // What the output has taken of the loaded clip, or null; for diagnostics and tests.
    std::shared_ptr<const ClipFeed> feed() const { return feed_; }

    // The longest a load may take before it counts as failed: a clip that cannot start by then
    // ends the announcement.
    static constexpr int LoadTimeoutMs = 2000;
    // The longest the program waits for a clip to start, pause, seek or stop.
    static constexpr int StateTimeoutMs = 1000;
    static constexpr int TeardownTimeoutMs = 1000;
    // A playing clip whose position stands still this long is dead.
    static constexpr int StallTimeoutMs = 2000;

private:
    bool load(const QString& path, QString* error);
    void unload();
    // Drains the bus without waiting; only errors matter here.
    void pollBus() const;
    void updatePosition() const;
    bool usable() const;
    bool seek(double seconds);
    bool play();
    bool attachOutput();
    // A state change bounded by StateTimeoutMs; one that overruns leaves the clip dead.
    bool boundedChange(GstState state);
    void giveUp(const QString& why) const;

    const std::shared_ptr<AudioOutput> output_;
    std::shared_ptr<ClipFeed> feed_;
    QString path_;
    GstRef<GstElement> pipeline_;
    GstRef<GstBus> bus_;
    double duration_ = 0.0;
    double rate_ = 1.0;
    int volumeHundredths_ = 0;
    // Updated by the const readers as they drain the bus and query the position.
    mutable double position_ = 0.0;
    mutable bool ended_ = false;
    bool startPending_ = false; // Run was asked for; playback begins when the event loop turns
    bool played_ = false;       // it has been playing since it was loaded
    mutable bool failed_ = false;
    mutable bool abandoned_ = false; // a call on the pipeline overran and may still be running
    bool running_ = false;           // playing, as far as the program asked
    mutable double lastPosition_ = -1.0;
    mutable std::chrono::steady_clock::time_point lastProgress_;
};

class GstGraphFactory : public GraphFactory {
public:
    explicit GstGraphFactory(QString sinkDescription, int longestHoldMs = 0)
        : sinkDescription_(std::move(sinkDescription))
        , longestHoldMs_(longestHoldMs) {}
    std::shared_ptr<FilterGraph> CreateGraph() override;

private:
    const QString sinkDescription_;
    const int longestHoldMs_;
};
