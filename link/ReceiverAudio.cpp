// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReceiverAudio.h"

#include "GstSupport.h"
#include "LinkLog.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {
// The longest a source may take to start before it counts as failed.
constexpr int StartTimeoutMs = 5000;
constexpr int BusPollMs = 100;
constexpr int ErrorWaitMs = 500;

std::int64_t toSamples(int ms) {
    return std::int64_t(std::max(0, ms)) * DtmfDecoder::SampleRate / 1000;
}

// autoaudiosrc quietly falls back to a generator of silence when no device answers; a
// receiver that listens to nothing must say so instead.
bool isRealSource(GstElement* element) {
    return GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SOURCE) &&
           std::strcmp(factoryName(element), "audiotestsrc") != 0;
}

// The first error on the bus, else the first warning, else the fallback. A failed state change
// may be known before the error that caused it reaches the bus, so this waits for one a little.
QString busProblem(GstBus* bus, const QString& fallback, int waitMs) {
    QString warning;
    const gint64 deadline = g_get_monotonic_time() + gint64(waitMs) * 1000;
    for (;;) {
        const gint64 remaining = std::max<gint64>(0, deadline - g_get_monotonic_time());
        const MessagePtr message(
            gst_bus_timed_pop_filtered(bus, GstClockTime(remaining) * GST_USECOND,
                                       GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING)));
        if (!message)
            break;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
            return messageText(message.get());
        if (warning.isEmpty())
            warning = messageText(message.get());
    }
    return warning.isEmpty() ? fallback : warning;
}
} // namespace

ReceiverProcessor::ReceiverProcessor(const ReceiverOptions& options, std::uint32_t transmitChanges)
    : decoder_(DtmfDecoder::Options{.gapMs = options.dtmfGapMs})
    , busyLevelDb_(options.busyLevelDb)
    , holdSamples_(toSamples(options.busyHoldMs))
    , releaseSamples_(toSamples(options.busyReleaseMs < 0 ? options.busyHoldMs : options.busyReleaseMs))
    , tailSamples_(toSamples(options.transmitTailMs))
    , transmitChanges_(transmitChanges) {
    if (transmitChanges % 2 == 1)
        decoder_.setMuted(true);
}

ReceiverProcessor::Events ReceiverProcessor::process(std::span<const std::int16_t> samples,
                                                     std::uint32_t transmitChanges) {
    Events events;
    const bool transmitting = transmitChanges % 2 == 1;
    if (transmitChanges != transmitChanges_) {
        transmitChanges_ = transmitChanges;
        tailLeft_ = transmitting ? 0 : tailSamples_;
    }
    if (transmitting) {
        processSpan(samples, true, &events);
        return events;
    }
    // Cut where the tail runs out, so that a digit right after it is heard in full.
    const auto tail = std::size_t(std::min<std::int64_t>(tailLeft_, std::int64_t(samples.size())));
    if (tail > 0) {
        processSpan(samples.first(tail), true, &events);
        tailLeft_ -= std::int64_t(tail);
        samples = samples.subspan(tail);
    }
    if (!samples.empty())
        processSpan(samples, false, &events);
    return events;
}

void ReceiverProcessor::processSpan(std::span<const std::int16_t> samples, bool muted, Events* events) {
    if (muted && !decoder_.muted())
        forgetLevels();
    decoder_.setMuted(muted);
    events->sequences += decoder_.feed(samples);
    for (const std::int16_t sample : samples) {
        blockEnergy_ += double(sample) * double(sample);
        if (++blockFill_ < BlockSamples)
            continue;
        const double meanSquare = blockEnergy_ / (double(BlockSamples) * 32768.0 * 32768.0);
        level_ = meanSquare > 0.0 ? std::max(SilenceDb, float(10.0 * std::log10(meanSquare))) : SilenceDb;
        blockEnergy_ = 0.0;
        blockFill_ = 0;
        // Our own transmission neither makes the channel busy nor frees it.
        if (!muted)
            judgeBlock(level_, events);
    }
}

void ReceiverProcessor::judgeBlock(float level, Events* events) {
    if (level > busyLevelDb_) {
        loudSamples_ += BlockSamples;
        quietSamples_ = 0;
        if (!busy_ && loudSamples_ >= holdSamples_) {
            busy_ = true;
            events->busyChanges.append(true);
        }
        return;
    }
    // Speech dips between syllables and words; only a quiet spell as long as the release time
    // ends an over, and with it whatever loudness had been counted towards the hold.
    quietSamples_ += BlockSamples;
    if (quietSamples_ >= releaseSamples_) {
        loudSamples_ = 0;
        if (busy_) {
            busy_ = false;
            events->busyChanges.append(false);
        }
    }
}

void ReceiverProcessor::forgetLevels() {
    loudSamples_ = 0;
    quietSamples_ = 0;
}

ReceiverProcessor::Events ReceiverProcessor::finish() {
    Events events;
    if (QString last = decoder_.flush(); !last.isEmpty())
        events.sequences.append(last);
    forgetLevels();
    if (busy_) {
        busy_ = false;
        events.busyChanges.append(false);
    }
    return events;
}

// One running pipeline. The processor and the buffer belong to the streaming thread; the rest
// is set up and torn down on the owner's thread while no stream runs.
struct ReceiverAudio::Capture {
    Capture(ReceiverAudio* receiver, std::uint64_t id, const ReceiverOptions& options)
        : owner(receiver)
        , run(id)
        , processor(options, receiver->transmitChanges_.load()) {}

    ReceiverAudio* const owner;
    const std::uint64_t run;
    ReceiverProcessor processor;
    std::vector<std::int16_t> samples;
    GstRef<GstElement> pipeline;
    GstRef<GstBus> bus;

    void post(ReceiverProcessor::Events events) {
        if (events.sequences.isEmpty() && events.busyChanges.isEmpty())
            return;
        // Queued, so the signals are emitted on the owner's thread. The owner stops the stream
        // before it goes away, and Qt drops calls queued for an object that has been deleted.
        QMetaObject::invokeMethod(
            owner,
            [target = owner, id = run, events = std::move(events)]() mutable {
                target->deliver(id, std::move(events));
            },
            Qt::QueuedConnection);
    }

    static GstFlowReturn onSample(GstAppSink* sink, gpointer data) {
        auto* self = static_cast<Capture*>(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_OK;
        self->samples.clear();
        GstMapInfo map;
        if (GstBuffer* buffer = gst_sample_get_buffer(sample);
            buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            // Copied: the mapped memory need not be aligned for 16-bit reads.
            self->samples.resize(map.size / sizeof(std::int16_t));
            std::memcpy(self->samples.data(), map.data, self->samples.size() * sizeof(std::int16_t));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        auto events = self->processor.process(self->samples, self->owner->transmitChanges_.load());
        self->owner->level_.store(self->processor.level(), std::memory_order_relaxed);
        self->post(std::move(events));
        return GST_FLOW_OK;
    }

    static void onEos(GstAppSink*, gpointer data) {
        auto* self = static_cast<Capture*>(data);
        self->post(self->processor.finish());
    }
};

ReceiverAudio::ReceiverAudio(ReceiverOptions options, QObject* parent)
    : QObject(parent)
    , options_(std::move(options)) {
    busTimer_.setInterval(BusPollMs);
    connect(&busTimer_, &QTimer::timeout, this, &ReceiverAudio::pollBus);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &ReceiverAudio::retry);
}

ReceiverAudio::~ReceiverAudio() {
    // The streaming thread must be gone before the state it uses.
    stopCapture();
}

bool ReceiverAudio::start(QString* error) {
    stop();
    lastFailure_.clear();
    QString reason;
    if (startCapture(&reason))
        return true;
    if (error)
        *error = reason;
    return false;
}

void ReceiverAudio::stop() {
    retryTimer_.stop();
    retrying_ = false;
    stopCapture();
    ++run_;
    setBusy(false);
}

bool ReceiverAudio::isRunning() const {
    return capture_ != nullptr;
}

void ReceiverAudio::setTransmitting(bool on) {
    std::uint32_t changes = transmitChanges_.load();
    while ((changes % 2 == 1) != on) {
        if (transmitChanges_.compare_exchange_weak(changes, changes + 1))
            return;
    }
}

bool ReceiverAudio::startCapture(QString* error) {
    if (!gst_is_initialized()) {
        GError* initError = nullptr;
        if (!gst_init_check(nullptr, nullptr, &initError)) {
            *error = u"the media framework cannot be initialised: %1"_s.arg(
                QString::fromUtf8(initError ? initError->message : "unknown error"));
            g_clear_error(&initError);
            return false;
        }
    }

    const bool automatic = options_.source.trimmed().isEmpty();
    const QString source = automatic ? u"autoaudiosrc name=rxauto"_s : options_.source;
    const QString format = G_BYTE_ORDER == G_LITTLE_ENDIAN ? u"S16LE"_s : u"S16BE"_s;
    // One description, so that a source whose pad appears late (a parser) is linked when it does.
    const QString description =
        u"%1 ! audioconvert ! audioresample ! capsfilter caps=\"audio/x-raw,format=%2,rate=%3,channels=1\" ! "
        u"appsink name=rxsink sync=false enable-last-sample=false"_s.arg(source, format)
            .arg(DtmfDecoder::SampleRate);
    GError* parseError = nullptr;
    GstElement* parsed = gst_parse_launch_full(description.toUtf8().constData(), nullptr,
                                               GST_PARSE_FLAG_FATAL_ERRORS, &parseError);
    if (parsed)
        gst_object_ref_sink(parsed);
    auto pipeline = GstRef<GstElement>::take(parsed);
    if (!pipeline || parseError) {
        *error = u"receiver audio source '%1' is not valid: %2"_s.arg(
            source, parseError ? QString::fromUtf8(parseError->message) : u"unknown error"_s);
        g_clear_error(&parseError);
        return false;
    }
    const auto sink = GstRef<GstElement>::take(gst_bin_get_by_name(GST_BIN(pipeline.get()), "rxsink"));
    if (!GST_IS_PIPELINE(pipeline.get()) || !sink || !GST_IS_APP_SINK(sink.get())) {
        *error = u"receiver audio source '%1' is not a chain that produces audio"_s.arg(source);
        return false;
    }

    auto capture = std::make_unique<Capture>(this, ++run_, options_);
    capture->bus = GstRef<GstBus>::take(gst_element_get_bus(pipeline.get()));
    capture->pipeline = std::move(pipeline);
    GstAppSinkCallbacks callbacks{};
    callbacks.eos = &Capture::onEos;
    callbacks.new_sample = &Capture::onSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, capture.get(), nullptr);

    GstElement* pipe = capture->pipeline.get();
    // Unwinds a capture that did not start: the streaming threads stop before it is freed.
    const auto abandon = [&](const QString& reason) {
        gst_element_set_state(pipe, GST_STATE_NULL);
        *error = reason;
        return false;
    };
    if (gst_element_set_state(pipe, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(pipe, nullptr, nullptr, GstClockTime(StartTimeoutMs) * GST_MSECOND) ==
            GST_STATE_CHANGE_FAILURE) {
        return abandon(u"cannot open receiver audio source '%1': %2"_s.arg(
            source, busProblem(capture->bus.get(), u"it did not start"_s, ErrorWaitMs)));
    }
    GstState state = GST_STATE_NULL;
    gst_element_get_state(pipe, &state, nullptr, 0);
    if (state != GST_STATE_PLAYING)
        return abandon(
            u"receiver audio source '%1' did not start within %2 s"_s.arg(source).arg(StartTimeoutMs / 1000));
    if (automatic) {
        const auto autoSource = GstRef<GstElement>::take(gst_bin_get_by_name(GST_BIN(pipe), "rxauto"));
        if (autoSource && !containsElement(autoSource.get(), isRealSource)) {
            const QString warning = busProblem(capture->bus.get(), QString(), 0);
            return abandon(warning.isEmpty() ? u"no audio input device is available"_s
                                             : u"no audio input device is available (%1)"_s.arg(warning));
        }
    }
    capture_ = std::move(capture);
    busTimer_.start();
    return true;
}

void ReceiverAudio::stopCapture() {
    busTimer_.stop();
    if (!capture_)
        return;
    // Synchronous: the streaming thread has left the callbacks when this returns.
    gst_element_set_state(capture_->pipeline.get(), GST_STATE_NULL);
    capture_.reset();
    level_.store(ReceiverProcessor::SilenceDb, std::memory_order_relaxed);
}

void ReceiverAudio::pollBus() {
    if (!capture_)
        return;
    while (GstMessage* raw = gst_bus_pop_filtered(capture_->bus.get(),
                                                  GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS))) {
        const MessagePtr message(raw);
        if (GST_MESSAGE_TYPE(raw) == GST_MESSAGE_ERROR) {
            fail(messageText(raw));
            return;
        }
        // What the stream handed on at its end is already queued for delivery under this run.
        qCInfo(lcLink) << "the receiver audio source has ended";
        stopCapture();
        return;
    }
}

void ReceiverAudio::fail(const QString& reason) {
    stopCapture();
    ++run_;
    setBusy(false);
    if (reason != lastFailure_) {
        lastFailure_ = reason;
        qCWarning(lcLink).noquote() << "receiver audio failed:" << reason << "- trying again every"
                                    << options_.retryMs << "ms";
        announceRestart_ = true;
        Q_EMIT captureFailed(reason);
    }
    retrying_ = true;
    retryTimer_.start(std::max(0, options_.retryMs));
}

void ReceiverAudio::retry() {
    if (!retrying_)
        return;
    QString reason;
    if (!startCapture(&reason)) {
        fail(reason);
        return;
    }
    retrying_ = false;
    if (std::exchange(announceRestart_, false))
        qCInfo(lcLink) << "receiver audio capture restarted";
}

void ReceiverAudio::deliver(std::uint64_t run, ReceiverProcessor::Events events) {
    // A receiver may stop the capture from its slot; what follows then belongs to no capture.
    for (const QString& sequence : std::as_const(events.sequences)) {
        if (run != run_)
            return;
        Q_EMIT dtmfSequence(sequence);
    }
    for (const bool busy : std::as_const(events.busyChanges)) {
        if (run != run_)
            return;
        setBusy(busy);
    }
}

void ReceiverAudio::setBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    Q_EMIT busyChanged(busy);
}
