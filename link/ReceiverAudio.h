// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DtmfDecoder.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

// How the receiver's audio is captured and judged; the [LINK] keys are named beside each field.
struct ReceiverOptions {
    // RX_SOURCE: a gst-launch style chain that produces audio, such as "pulsesrc device=..." or
    // "filesrc location=x.wav ! wavparse". Empty: the desktop's default input.
    QString source;
    int dtmfGapMs = DtmfDecoder::DefaultGapMs; // DTMF_GAP
    // BUSY_LEVEL: the RMS level of a 20 ms block, in dB relative to full scale (a full-scale sine
    // reads -3), above which the channel counts as in use.
    double busyLevelDb = -40.0;
    // BUSY_HOLD: how long the level must stay above BUSY_LEVEL before the channel is busy; quiet
    // spells shorter than the release time do not start the count again.
    int busyHoldMs = 500;
    // How long the level must stay at or below BUSY_LEVEL before the channel is free again, and
    // before a partial hold is forgotten. Negative: the same as busyHoldMs.
    int busyReleaseMs = -1;
    // After our own transmission ends, its audio may still arrive for this long.
    int transmitTailMs = 300;
    // After a failure of the running capture, the next attempt comes this much later.
    int retryMs = 5000;
};

// What is done with each block of received audio, without threads or GStreamer: DTMF decoding,
// muted while we transmit and for a tail after, and the busy state from the level of each 20 ms
// block, which our own transmission does not move either way.
class ReceiverProcessor {
public:
    static constexpr int BlockSamples = DtmfDecoder::SampleRate / 50;
    // Reported for a block of digital silence.
    static constexpr float SilenceDb = -120.0f;

    struct Events {
        QStringList sequences;
        QList<bool> busyChanges; // each change of the busy state, in order
    };

    // `transmitChanges` is the count of changes of our transmit state so far: odd while we
    // transmit. A count that has moved on to an even value tells of a transmission that ended,
    // even if it also began after the previous block.
    explicit ReceiverProcessor(const ReceiverOptions& options, std::uint32_t transmitChanges = 0);

    // Samples are 8 kHz mono.
    Events process(std::span<const std::int16_t> samples, std::uint32_t transmitChanges);
    // The stream has ended: hands on the sequence in progress and frees the channel.
    Events finish();

    bool busy() const { return busy_; }
    // The level of the last complete block, in dBFS.
    float level() const { return level_; }

private:
    void processSpan(std::span<const std::int16_t> samples, bool muted, Events* events);
    void judgeBlock(float level, Events* events);
    void forgetLevels();

    DtmfDecoder decoder_;
    const double busyLevelDb_;
    const std::int64_t holdSamples_;
    const std::int64_t releaseSamples_;
    const std::int64_t tailSamples_;
    std::uint32_t transmitChanges_;
    std::int64_t tailLeft_ = 0;
    bool busy_ = false;
    float level_ = SilenceDb;
    std::int64_t loudSamples_ = 0;  // above the level since the last long quiet spell
    std::int64_t quietSamples_ = 0; // at or below the level since the last loud block
    double blockEnergy_ = 0.0;
    int blockFill_ = 0;
};

// Captures the receiver's audio and reports DTMF sequences and the busy state. The audio is
// judged on GStreamer's streaming thread; the signals are emitted on this object's own thread,
// by queued calls, whatever thread a receiver lives in. A capture that fails while it runs is
// reported once and tried again every retryMs until it runs or stop() is called. A source that
// ends (a file) hands on the sequence in progress, frees the channel and stops for good.
class ReceiverAudio final : public QObject {
    Q_OBJECT
public:
    explicit ReceiverAudio(ReceiverOptions options, QObject* parent = nullptr);
    ~ReceiverAudio() override;

    // Builds and starts the capture; initialises GStreamer when nobody has. Returns false with
    // a reason when the source is not valid, cannot be opened, or (for the default source) when
    // no input device is there at all.
    bool start(QString* error);
    // Stops capturing and retrying; frees the channel. The sequence in progress is dropped.
    void stop();
    bool isRunning() const;

    // Mutes DTMF decoding and the busy detector while we transmit and for transmitTailMs after.
    // May be called from any thread.
    void setTransmitting(bool on);

    // The state last signalled by busyChanged.
    bool busy() const { return busy_; }
    // The level of the latest 20 ms block, in dBFS, or SilenceDb while not capturing; from any thread.
    float level() const { return level_.load(std::memory_order_relaxed); }
    const ReceiverOptions& options() const { return options_; }

Q_SIGNALS:
    void dtmfSequence(const QString& sequence);
    void busyChanged(bool busy);
    // The running capture failed and is tried again later; not repeated for the same reason.
    void captureFailed(const QString& reason);

private:
    struct Capture;

    bool startCapture(QString* error);
    void stopCapture();
    void pollBus();
    void retry();
    void fail(const QString& reason);
    void deliver(std::uint64_t run, ReceiverProcessor::Events events);
    void setBusy(bool busy);

    const ReceiverOptions options_;
    std::unique_ptr<Capture> capture_;
    // Tells events queued by an earlier capture from those of the current one.
    std::uint64_t run_ = 0;
    bool busy_ = false;
    bool retrying_ = false;
    bool announceRestart_ = false;
    QString lastFailure_;
    QTimer busTimer_;
    QTimer retryTimer_;
    std::atomic<std::uint32_t> transmitChanges_{0};
    std::atomic<float> level_{ReceiverProcessor::SilenceDb};
};
