// SPDX-License-Identifier: GPL-3.0-or-later
#include "GstGraph.h"

#include "GstCalls.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QTimer>

#include <gst/app/gstappsink.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcPlayback, "tempovox.playback")

struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;

double toSeconds(gint64 nanoseconds) {
    return static_cast<double>(nanoseconds) / static_cast<double>(GST_SECOND);
}

bool isAudioPad(GstPad* pad) {
    CapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    return caps && gst_caps_get_size(caps.get()) > 0 &&
           g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "audio/");
}

// Links the decoder's audio to `data`, the element after it. The element is the handler's own
// reference, so a handler still running on a streaming thread after the clip let go of its
// pipeline touches nothing that is gone.
void linkDecodedAudio(GstElement*, GstPad* pad, gpointer data) {
    if (!isAudioPad(pad))
        return;
    const auto target = GstRef<GstPad>::take(gst_element_get_static_pad(GST_ELEMENT(data), "sink"));
    if (target && !gst_pad_is_linked(target.get()))
        gst_pad_link(pad, target.get());
}

void connectDecoder(GstElement* decoder, GstElement* next) {
    g_signal_connect_data(
        decoder, "pad-added", G_CALLBACK(&linkDecodedAudio), gst_object_ref(next),
        [](gpointer data, GClosure*) { gst_object_unref(data); }, GConnectFlags(0));
}

template <typename T>
void destroyShared(gpointer data) {
    delete static_cast<std::shared_ptr<T>*>(data);
}

GstPadProbeReturn noteBufferEnd(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto& end = **static_cast<std::shared_ptr<std::atomic<gint64>>*>(data);
    if (GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        buffer && GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer)) {
        const auto bufferEnd = gint64(GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer));
        if (bufferEnd > end)
            end = bufferEnd;
    }
    return GST_PAD_PROBE_OK;
}

// What reached the feed before a flush is stale: the output drops whatever it holds of it.
GstPadProbeReturn countFlush(GstPad*, GstPadProbeInfo* info, gpointer data) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP)
        ++(*static_cast<std::shared_ptr<ClipFeed>*>(data))->flushes;
    return GST_PAD_PROBE_OK;
}

// Some streams (an MP3 without a Xing or Info header) do not declare their length, and the
// parser's estimate drifts while it reads on. Decoding the whole file once, as fast as it goes,
// gives a length that is exact and the same on every load.
std::optional<gint64> decodedLength(const QString& path, gint64 deadline, QString* error) {
    auto source = makeElement("filesrc", error);
    auto decoder = source ? makeElement("decodebin", error) : GstRef<GstElement>();
    auto sink = decoder ? makeElement("fakesink", error) : GstRef<GstElement>();
    if (!sink)
        return std::nullopt;
    auto pipeline = GstRef<GstElement>::take(gst_pipeline_new(nullptr));
    gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), decoder.get(), sink.get(), nullptr);
    gst_element_link(source.get(), decoder.get());
    g_object_set(source.get(), "location", QFile::encodeName(path).constData(), nullptr);
    g_object_set(sink.get(), "sync", FALSE, nullptr);

    const auto end = std::make_shared<std::atomic<gint64>>(0);
    connectDecoder(decoder.get(), sink.get());
    const auto sinkPad = GstRef<GstPad>::take(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(sinkPad.get(), GST_PAD_PROBE_TYPE_BUFFER, &noteBufferEnd,
                      new std::shared_ptr<std::atomic<gint64>>(end), &destroyShared<std::atomic<gint64>>);

    const auto bus = GstRef<GstBus>::take(gst_element_get_bus(pipeline.get()));
    MessagePtr message;
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        const gint64 remaining = deadline - g_get_monotonic_time();
        if (remaining > 0)
            message.reset(gst_bus_timed_pop_filtered(bus.get(), remaining * GST_USECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    }
    // Bounded like every other wait of a load; what the streaming threads write to is shared.
    changeState(pipeline.get(), GST_STATE_NULL, GstGraph::TeardownTimeoutMs);
    const GstMessageType outcome = message ? GST_MESSAGE_TYPE(message.get()) : GST_MESSAGE_UNKNOWN;
    if (outcome == GST_MESSAGE_EOS && *end > 0)
        return end->load();
    if (outcome == GST_MESSAGE_EOS)
        *error = u"clip file '%1' contains no audio data"_s.arg(path);
    else if (outcome == GST_MESSAGE_ERROR)
        *error = u"cannot decode clip file '%1': %2"_s.arg(path, messageText(message.get()));
    else
        *error = u"the duration of clip file '%1' cannot be read"_s.arg(path);
    return std::nullopt;
}
} // namespace

GstGraph::GstGraph(const QString& sinkDescription, int longestHoldMs)
    : output_(AudioOutput::forSink(sinkDescription)) {
    if (longestHoldMs > 0)
        output_->setLongestHold(longestHoldMs);
}

GstGraph::~GstGraph() {
    unload();
}

bool GstGraph::RenderFile(const QString& path, QString* error) {
    unload();
    QString reason;
    if (load(path, &reason))
        return true;
    unload();
    if (error)
        *error = reason;
    return false;
}

bool GstGraph::load(const QString& path, QString* error) {
    if (!gst_is_initialized()) {
        *error = u"the media framework is not initialised"_s;
        return false;
    }
    // GStreamer would report these too, but in words that do not tell them apart.
    const QFileInfo file(path);
    if (!file.exists()) {
        *error = u"clip file '%1' does not exist"_s.arg(path);
        return false;
    }
    if (!file.isFile()) {
        *error = u"clip path '%1' is not a file"_s.arg(path);
        return false;
    }
    if (!file.isReadable()) {
        *error = u"clip file '%1' cannot be read"_s.arg(path);
        return false;
    }
    if (file.size() == 0) {
        *error = u"clip file '%1' is empty"_s.arg(path);
        return false;
    }

    // Bounded: a stream that never prerolls must not hang the program. The output comes first:
    // one that is known to hang fails here at once, before anything is built or keyed.
    const gint64 deadline = g_get_monotonic_time() + gint64(LoadTimeoutMs) * 1000;
    if (!output_->open(path, LoadTimeoutMs, error))
        return false;

    auto source = makeElement("filesrc", error);
    auto decoder = source ? makeElement("decodebin", error) : GstRef<GstElement>();
    auto convertIn = decoder ? makeElement("audioconvert", error) : GstRef<GstElement>();
    auto resampleIn = convertIn ? makeElement("audioresample", error) : GstRef<GstElement>();
    auto tempo = resampleIn ? makeElement("scaletempo", error) : GstRef<GstElement>();
    auto convertOut = tempo ? makeElement("audioconvert", error) : GstRef<GstElement>();
    auto sink = convertOut ? makeElement("appsink", error) : GstRef<GstElement>();
    if (!sink)
        return false;

    gst_element_set_name(sink.get(), "feed"); // named while it has no parent, which alone allows it
    auto pipeline = GstRef<GstElement>::take(gst_pipeline_new(nullptr));
    gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), decoder.get(), convertIn.get(), resampleIn.get(),
                     tempo.get(), convertOut.get(), sink.get(), nullptr);
    if (!gst_element_link(source.get(), decoder.get()) ||
        !gst_element_link_many(convertIn.get(), resampleIn.get(), tempo.get(), convertOut.get(), sink.get(),
                               nullptr)) {
        *error = u"the playback chain cannot be linked for clip file '%1'"_s.arg(path);
        return false;
    }
    g_object_set(source.get(), "location", QFile::encodeName(path).constData(), nullptr);
    // The output takes the audio as fast as it plays it; a few buffers wait here meanwhile. They
    // hold nothing back: a level applies as the output takes them, and a seek flushes them.
    GstCaps* caps = AudioOutput::newClipCaps();
    g_object_set(sink.get(), "caps", caps, "sync", FALSE, "max-buffers", 4u, "enable-last-sample", FALSE,
                 nullptr);
    gst_caps_unref(caps);

    // The decoder's output appears only once it has looked at the file, on a streaming thread.
    connectDecoder(decoder.get(), convertIn.get());

    pipeline_ = std::move(pipeline);
    bus_ = GstRef<GstBus>::take(gst_element_get_bus(pipeline_.get()));
    feed_ = std::make_shared<ClipFeed>(sink.get());
    path_ = path;
    const auto feedPad = GstRef<GstPad>::take(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(feedPad.get(), GST_PAD_PROBE_TYPE_EVENT_FLUSH, &countFlush,
                      new std::shared_ptr<ClipFeed>(feed_), &destroyShared<ClipFeed>);

    const auto failure = [&](GstMessage* message) {
        *error = u"cannot decode clip file '%1': %2"_s.arg(path, messageText(message));
        return false;
    };

    const gint64 left = (deadline - g_get_monotonic_time()) / 1000;
    const auto changed = changeState(pipeline_.get(), GST_STATE_PAUSED, int(std::max<gint64>(left, 0)));
    if (!changed) {
        abandoned_ = true;
        *error = u"clip file '%1' did not become ready within %2 s"_s.arg(path).arg(LoadTimeoutMs / 1000);
        return false;
    }
    const GstStateChangeReturn change = *changed;
    if (change == GST_STATE_CHANGE_FAILURE) {
        const MessagePtr message(gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR));
        if (message)
            return failure(message.get());
        *error = u"clip file '%1' cannot be played"_s.arg(path);
        return false;
    }
    if (change == GST_STATE_CHANGE_ASYNC) {
        const gint64 remaining = deadline - g_get_monotonic_time();
        MessagePtr message;
        if (remaining > 0)
            message.reset(
                gst_bus_timed_pop_filtered(bus_.get(), remaining * GST_USECOND,
                                           GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR)));
        if (!message) {
            *error = u"clip file '%1' did not become ready within %2 s"_s.arg(path).arg(LoadTimeoutMs / 1000);
            return false;
        }
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
            return failure(message.get());
    }

    const auto linked = GstRef<GstPad>::take(gst_element_get_static_pad(convertIn.get(), "sink"));
    if (!gst_pad_is_linked(linked.get())) {
        *error = u"clip file '%1' contains no audio"_s.arg(path);
        return false;
    }
    gint64 nanoseconds = 0;
    if (!gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &nanoseconds) || nanoseconds <= 0) {
        const auto measured = decodedLength(path, deadline, error);
        if (!measured)
            return false;
        nanoseconds = *measured;
    }
    // Read once: the end-of-clip test compares the final position with this very value.
    duration_ = toSeconds(nanoseconds);
    return true;
}

void GstGraph::unload() {
    if (feed_)
        output_->detach(feed_.get());
    if (pipeline_) {
        // Normally the streaming threads have stopped when this returns. A pipeline stuck on a
        // call is left to stop on its own.
        if (!changeState(pipeline_.get(), GST_STATE_NULL, abandoned_ ? 0 : TeardownTimeoutMs) && !abandoned_)
            qCWarning(lcPlayback) << "a clip did not stop; it is left behind";
    }
    feed_.reset();
    abandoned_ = false;
    running_ = false;
    lastPosition_ = -1.0;
    bus_.reset();
    pipeline_.reset();
    duration_ = 0.0;
    rate_ = 1.0;
    volumeHundredths_ = 0;
    position_ = 0.0;
    ended_ = false;
    failed_ = false;
    played_ = false;
}

void GstGraph::pollBus() const {
    if (!bus_)
        return;
    // Popping with a filter also discards everything else queued, so the bus never grows. The
    // end of the stream counts once the output has taken the last sample, not when it reaches
    // the feed.
    while (const MessagePtr message{gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR)}) {
        // The stream is dead; the position stays where it was and the program polls on.
        if (!failed_) {
            QString details;
            const QString text = messageText(message.get(), &details);
            qCWarning(lcPlayback).noquote() << "clip playback failed:" << text << details;
            updatePosition();
        }
        failed_ = true;
    }
}

bool GstGraph::usable() const {
    pollBus();
    return pipeline_ && !failed_;
}

// Playback begins once the caller's event has finished: a clip started and replaced within
// the same event (as the sequencer does with a finished step's reload) is never heard.
bool GstGraph::Run() {
    if (!usable())
        return false;
    if (!QCoreApplication::instance())
        return play();
    startPending_ = true;
    QTimer::singleShot(0, QCoreApplication::instance(), [graph = weak_from_this()] {
        const auto self = graph.lock();
        if (!self || !self->startPending_ || !self->usable())
            return;
        self->startPending_ = false;
        self->play();
    });
    return true;
}

bool GstGraph::play() {
    played_ = true;
    lastProgress_ = std::chrono::steady_clock::now();
    if (!attachOutput())
        return false;
    running_ = boundedChange(GST_STATE_PLAYING);
    return running_;
}

// The output closes when it falls idle, which a clip loaded long ago may have seen.
bool GstGraph::attachOutput() {
    QString error;
    if (!output_->attach(feed_) && !(output_->open(path_, LoadTimeoutMs, &error) && output_->attach(feed_))) {
        giveUp(error.isEmpty() ? u"the audio output has closed"_s : error);
        return false;
    }
    return true;
}

bool GstGraph::Stop() {
    startPending_ = false;
    running_ = false;
    output_->detach(feed_.get());
    if (!usable() || !boundedChange(GST_STATE_PAUSED))
        return false;
    return seek(0.0);
}

bool GstGraph::boundedChange(GstState state) {
    const auto changed = changeState(pipeline_.get(), state, StateTimeoutMs);
    if (!changed)
        giveUp(u"the clip does not respond"_s);
    return changed && *changed != GST_STATE_CHANGE_FAILURE;
}

// The clip is dead, the watchdog ends the announcement, and the pipeline is left to finish
// whatever call it is stuck in.
void GstGraph::giveUp(const QString& why) const {
    abandoned_ = true;
    failed_ = true;
    qCWarning(lcPlayback).noquote() << "clip playback failed:" << why;
}

bool GstGraph::PlaybackFailed() const {
    pollBus();
    if (QString why; running_ && !ended_ && !failed_ && output_->failed(&why))
        giveUp(why);
    // An output that stops taking audio (a sound server that hangs, a pipe nobody reads any more)
    // raises no error: the position just stands still.
    if (running_ && !ended_ && !failed_) {
        updatePosition();
        const auto now = std::chrono::steady_clock::now();
        if (position_ != lastPosition_) {
            lastPosition_ = position_;
            lastProgress_ = now;
        } else if (now - lastProgress_ > std::chrono::milliseconds(StallTimeoutMs)) {
            giveUp(u"the audio output has stopped taking audio"_s);
        }
    }
    return failed_;
}

bool GstGraph::SetVolume(int hundredthsOfDb) {
    if (!usable() || hundredthsOfDb < -10000 || hundredthsOfDb > 0)
        return false;
    if (hundredthsOfDb == volumeHundredths_)
        return true;
    volumeHundredths_ = hundredthsOfDb;
    // Applied as the output takes each slice: heard at once, the preroll included.
    feed_->gain = float(std::pow(10.0, hundredthsOfDb / 2000.0));
    return true;
}

std::optional<double> GstGraph::Duration() const {
    if (!pipeline_)
        return std::nullopt;
    return duration_;
}

std::optional<double> GstGraph::CurrentPosition() const {
    if (!pipeline_)
        return std::nullopt;
    pollBus();
    if (!failed_)
        updatePosition();
    return ended_ ? duration_ : position_;
}

void GstGraph::updatePosition() const {
    const std::lock_guard lock(feed_->mutex);
    // A header may claim less than the file holds: the clip ends when its audio does, and
    // rests a millisecond short of its declared end until then.
    position_ = std::min(toSeconds(feed_->reached), std::max(duration_ - 0.001, 0.0));
    if (feed_->ended)
        ended_ = true;
}

bool GstGraph::StillSounding() const {
    return output_->sounding();
}

bool GstGraph::SetCurrentPosition(double seconds) {
    // A clip that has not played yet rests prerolled at its start: seeking there again would only
    // flush and decode its first buffer anew, and every clip is started that way.
    if (seconds == 0.0 && !played_ && position_ == 0.0 && !ended_)
        return usable();
    return usable() && !std::isnan(seconds) && seek(seconds);
}

bool GstGraph::SetRate(double rate) {
    if (!usable() || !(rate >= 0.1 && rate <= 2.0))
        return false;
    if (rate == rate_)
        return true;
    rate_ = rate;
    // A finished clip keeps resting at its end; the rate applies from the next seek.
    if (ended_)
        return true;
    return seek(*CurrentPosition());
}

bool GstGraph::seek(double seconds) {
    const double target = std::clamp(seconds, 0.0, duration_);
    GstEvent* event = gst_event_new_seek(
        rate_, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
        std::llround(target * GST_SECOND), GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    {
        // What the output takes until the flush has passed is stale, and says nothing.
        const std::lock_guard lock(feed_->mutex);
        feed_->seeking = true;
        feed_->reached = std::llround(target * GST_SECOND);
        feed_->ended = false;
    }
    const auto seeked = qScopeGuard([this] {
        const std::lock_guard lock(feed_->mutex);
        feed_->seeking = false;
    });
    // A flush waits for the streaming thread, which a stuck element may never give back.
    const auto sent = std::make_shared<std::atomic<bool>>(false);
    if (!finishesWithin(StateTimeoutMs, [sent, held = GST_ELEMENT(gst_object_ref(pipeline_.get())), event] {
            *sent = gst_element_send_event(held, event);
            gst_object_unref(held);
        })) {
        giveUp(u"the clip does not respond"_s);
        return false;
    }
    if (!*sent)
        return false;
    pollBus();
    ended_ = target >= duration_ && !failed_;
    position_ = target;
    lastProgress_ = std::chrono::steady_clock::now();
    // A clip that played may be moved long after its stream closed: it plays on from there.
    if (running_ && !ended_ && !failed_)
        attachOutput();
    return !failed_;
}

std::shared_ptr<FilterGraph> GstGraphFactory::CreateGraph() {
    return std::make_shared<GstGraph>(sinkDescription_, longestHoldMs_);
}
