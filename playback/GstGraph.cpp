// SPDX-License-Identifier: GPL-3.0-or-later
#include "GstGraph.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <gst/audio/streamvolume.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcPlayback, "tempovox.playback")

struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

// The Debian package that ships each element we build, for the "missing" message.
const char* packageOf(const char* factoryName) {
    static constexpr std::pair<const char*, const char*> packages[] = {
        {"filesrc", "libgstreamer1.0-0"},
        {"fakesink", "libgstreamer1.0-0"},
        {"decodebin", "gstreamer1.0-plugins-base"},
        {"audioconvert", "gstreamer1.0-plugins-base"},
        {"audioresample", "gstreamer1.0-plugins-base"},
        {"volume", "gstreamer1.0-plugins-base"},
        {"scaletempo", "gstreamer1.0-plugins-good"},
        {"autoaudiosink", "gstreamer1.0-plugins-good"},
    };
    for (const auto& [name, package] : packages) {
        if (std::strcmp(name, factoryName) == 0)
            return package;
    }
    return nullptr;
}

double toSeconds(gint64 nanoseconds) {
    return static_cast<double>(nanoseconds) / static_cast<double>(GST_SECOND);
}

// autoaudiosink quietly falls back to a fake sink when no device answers; a clock that
// announces into nothing must say so instead.
bool isRealSink(GstElement* element) {
    const char* name = factoryName(element);
    return GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SINK) && std::strcmp(name, "fakesink") != 0 &&
           std::strcmp(name, "fakeaudiosink") != 0;
}

bool isAudioPad(GstPad* pad) {
    CapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    return caps && gst_caps_get_size(caps.get()) > 0 &&
           g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "audio/");
}

struct DecodedEnd {
    GstElement* sink = nullptr;
    std::atomic<gint64> end{0};
};

void linkDecodedAudio(GstElement*, GstPad* pad, gpointer data) {
    auto* state = static_cast<DecodedEnd*>(data);
    if (!isAudioPad(pad))
        return;
    const auto target = GstRef<GstPad>::take(gst_element_get_static_pad(state->sink, "sink"));
    if (target && !gst_pad_is_linked(target.get()))
        gst_pad_link(pad, target.get());
}

GstPadProbeReturn noteBufferEnd(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* state = static_cast<DecodedEnd*>(data);
    if (GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        buffer && GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer)) {
        const auto end = gint64(GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer));
        if (end > state->end)
            state->end = end;
    }
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

    DecodedEnd state;
    state.sink = sink.get();
    g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(&linkDecodedAudio), &state);
    const auto sinkPad = GstRef<GstPad>::take(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(sinkPad.get(), GST_PAD_PROBE_TYPE_BUFFER, &noteBufferEnd, &state, nullptr);

    const auto bus = GstRef<GstBus>::take(gst_element_get_bus(pipeline.get()));
    MessagePtr message;
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        const gint64 remaining = deadline - g_get_monotonic_time();
        if (remaining > 0)
            message.reset(gst_bus_timed_pop_filtered(bus.get(), remaining * GST_USECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    }
    // Stops the streaming threads before the state they write to goes out of scope.
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    const GstMessageType outcome = message ? GST_MESSAGE_TYPE(message.get()) : GST_MESSAGE_UNKNOWN;
    if (outcome == GST_MESSAGE_EOS && state.end > 0)
        return state.end.load();
    if (outcome == GST_MESSAGE_EOS)
        *error = u"clip file '%1' contains no audio data"_s.arg(path);
    else if (outcome == GST_MESSAGE_ERROR)
        *error = u"cannot decode clip file '%1': %2"_s.arg(path, messageText(message.get()));
    else
        *error = u"the duration of clip file '%1' cannot be read"_s.arg(path);
    return std::nullopt;
}
// Runs `work` on a thread of its own and waits for it at most `timeoutMs`. Work that overruns is
// abandoned, not cancelled: it finishes on its own later, holding only what it captured. An
// output that blocks (a sound server that hangs, a pipe nobody reads) blocks only that thread.
bool finishesWithin(int timeoutMs, std::function<void()> work) {
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    const auto state = std::make_shared<Done>();
    std::thread([state, work = std::move(work)] {
        work();
        const std::lock_guard lock(state->mutex);
        state->done = true;
        state->changed.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    return state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return state->done; });
}

// A state change of the pipeline, bounded; nothing when it did not finish in time.
std::optional<GstStateChangeReturn> changeState(GstElement* pipeline, GstState state, int timeoutMs) {
    const auto result = std::make_shared<std::atomic<GstStateChangeReturn>>(GST_STATE_CHANGE_FAILURE);
    if (!finishesWithin(timeoutMs, [result, held = GST_ELEMENT(gst_object_ref(pipeline)), state] {
            *result = gst_element_set_state(held, state);
            gst_object_unref(held);
        }))
        return std::nullopt;
    return result->load();
}

} // namespace

GstRef<GstElement> makeElement(const char* factoryName, QString* error) {
    auto element = GstRef<GstElement>::take(gst_element_factory_make(factoryName, nullptr));
    if (!element) {
        const char* package = packageOf(factoryName);
        *error = u"GStreamer element '%1' is missing"_s.arg(QString::fromUtf8(factoryName));
        if (package)
            *error += u" (install %1)"_s.arg(QString::fromUtf8(package));
    }
    return element;
}

GstGraph::GstGraph(QString sinkDescription)
    : sinkDescription_(std::move(sinkDescription)) {}

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

    GstRef<GstElement> sink;
    if (sinkDescription_.isEmpty()) {
        sink = makeElement("autoaudiosink", error);
    } else {
        GError* raw = nullptr;
        GstElement* bin = gst_parse_bin_from_description(sinkDescription_.toUtf8().constData(), TRUE, &raw);
        const ErrorPtr parseError(raw);
        sink = GstRef<GstElement>::take(bin);
        // The parser may hand back a partial bin together with an error; that is no output.
        if (parseError || !sink) {
            *error = u"audio output '%1' is not valid: %2"_s.arg(
                sinkDescription_, parseError ? QString::fromUtf8(parseError->message) : u"unknown error"_s);
            return false;
        }
    }
    if (!sink)
        return false;

    auto source = makeElement("filesrc", error);
    auto decoder = source ? makeElement("decodebin", error) : GstRef<GstElement>();
    auto convertIn = decoder ? makeElement("audioconvert", error) : GstRef<GstElement>();
    auto resampleIn = convertIn ? makeElement("audioresample", error) : GstRef<GstElement>();
    auto tempo = resampleIn ? makeElement("scaletempo", error) : GstRef<GstElement>();
    auto convertOut = tempo ? makeElement("audioconvert", error) : GstRef<GstElement>();
    auto volume = convertOut ? makeElement("volume", error) : GstRef<GstElement>();
    if (!volume)
        return false;

    auto pipeline = GstRef<GstElement>::take(gst_pipeline_new(nullptr));
    gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), decoder.get(), convertIn.get(), resampleIn.get(),
                     tempo.get(), convertOut.get(), volume.get(), sink.get(), nullptr);
    if (!gst_element_link(source.get(), decoder.get()) ||
        !gst_element_link_many(convertIn.get(), resampleIn.get(), tempo.get(), convertOut.get(), volume.get(),
                               sink.get(), nullptr)) {
        *error = u"the playback chain cannot be linked to audio output '%1'"_s.arg(sinkDescription_);
        return false;
    }
    g_object_set(source.get(), "location", QFile::encodeName(path).constData(), nullptr);

    // The decoder's output appears only once it has looked at the file, on a streaming thread.
    converter_ = GstRef<GstElement>::share(convertIn.get());
    decoder_ = GstRef<GstElement>::share(decoder.get());
    audioLinked_ = false;
    g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(&GstGraph::onDecodedPad), this);

    pipeline_ = std::move(pipeline);
    bus_ = GstRef<GstBus>::take(gst_element_get_bus(pipeline_.get()));
    volume_ = GstRef<GstElement>::share(volume.get());

    // An error names the output when the output raised it, the clip otherwise.
    const auto failure = [&](GstMessage* message) {
        GstObject* origin = GST_MESSAGE_SRC(message);
        const QString text = messageText(message);
        if (origin == GST_OBJECT(sink.get()) || gst_object_has_as_ancestor(origin, GST_OBJECT(sink.get())))
            *error = u"cannot open the audio output: %1"_s.arg(text);
        else
            *error = u"cannot decode clip file '%1': %2"_s.arg(path, text);
        return false;
    };

    // Bounded: a stream that never prerolls must not hang the program.
    const gint64 deadline = g_get_monotonic_time() + gint64(LoadTimeoutMs) * 1000;
    const auto changed = changeState(pipeline_.get(), GST_STATE_PAUSED, LoadTimeoutMs);
    if (!changed) {
        abandoned_ = true;
        *error = u"audio output '%1' did not take clip file '%2' within %3 s"_s
                     .arg(sinkDescription_.isEmpty() ? u"default"_s : sinkDescription_, path)
                     .arg(LoadTimeoutMs / 1000);
        return false;
    }
    const GstStateChangeReturn change = *changed;
    QString warning;
    if (change == GST_STATE_CHANGE_FAILURE) {
        const MessagePtr message(gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR));
        if (message)
            return failure(message.get());
        *error = u"clip file '%1' cannot be played"_s.arg(path);
        return false;
    }
    if (change == GST_STATE_CHANGE_ASYNC) {
        for (;;) {
            const gint64 remaining = deadline - g_get_monotonic_time();
            MessagePtr message;
            if (remaining > 0)
                message.reset(gst_bus_timed_pop_filtered(
                    bus_.get(), remaining * GST_USECOND,
                    GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING)));
            if (!message) {
                *error =
                    u"clip file '%1' did not become ready within %2 s"_s.arg(path).arg(LoadTimeoutMs / 1000);
                return false;
            }
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
                return failure(message.get());
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_WARNING) {
                if (warning.isEmpty())
                    warning = messageText(message.get());
                continue;
            }
            break;
        }
    }

    if (!audioLinked_) {
        *error = u"clip file '%1' contains no audio"_s.arg(path);
        return false;
    }
    if (sinkDescription_.isEmpty() && !containsElement(sink.get(), isRealSink)) {
        *error = u"no audio output device is available"_s;
        if (!warning.isEmpty())
            *error += u" (%1)"_s.arg(warning);
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
    if (decoder_)
        g_signal_handlers_disconnect_by_data(decoder_.get(), this);
    if (pipeline_) {
        // Normally the streaming threads have stopped when this returns. A pipeline stuck on its
        // output is left to stop on its own, whenever the output lets go.
        if (!changeState(pipeline_.get(), GST_STATE_NULL, abandoned_ ? 0 : TeardownTimeoutMs) && !abandoned_)
            qCWarning(lcPlayback) << "the audio output did not let go of a clip; it is left behind";
    }
    decoder_.reset();
    abandoned_ = false;
    running_ = false;
    lastPosition_ = -1.0;
    volume_.reset();
    converter_.reset();
    bus_.reset();
    pipeline_.reset();
    audioLinked_ = false;
    duration_ = 0.0;
    rate_ = 1.0;
    volumeHundredths_ = 0;
    position_ = 0.0;
    ended_ = false;
    failed_ = false;
    played_ = false;
}

void GstGraph::onDecodedPad(GstElement*, GstPad* pad, gpointer data) {
    auto* self = static_cast<GstGraph*>(data);
    if (!isAudioPad(pad))
        return;
    const auto target = GstRef<GstPad>::take(gst_element_get_static_pad(self->converter_.get(), "sink"));
    if (target && !gst_pad_is_linked(target.get()) &&
        GST_PAD_LINK_SUCCESSFUL(gst_pad_link(pad, target.get())))
        self->audioLinked_ = true;
}

void GstGraph::handle(GstMessage* message, bool acceptEos) const {
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
        if (acceptEos && !failed_)
            ended_ = true;
        break;
    case GST_MESSAGE_ERROR:
        // The stream is dead; the position stays where it was and the program polls on.
        if (!failed_) {
            QString details;
            const QString text = messageText(message, &details);
            qCWarning(lcPlayback).noquote() << "clip playback failed:" << text << details;
            updatePosition();
        }
        failed_ = true;
        break;
    default:
        break;
    }
}

void GstGraph::pollBus() const {
    if (!bus_)
        return;
    // Popping with a filter also discards everything else queued, so the bus never grows.
    while (GstMessage* raw =
               gst_bus_pop_filtered(bus_.get(), GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
        const MessagePtr message(raw);
        handle(message.get(), true);
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
    if (!QCoreApplication::instance()) {
        played_ = true;
        return boundedChange(GST_STATE_PLAYING);
    }
    startPending_ = true;
    QTimer::singleShot(0, QCoreApplication::instance(), [graph = weak_from_this()] {
        const auto self = graph.lock();
        if (!self || !self->startPending_ || !self->usable())
            return;
        self->startPending_ = false;
        self->played_ = true;
        self->running_ = self->boundedChange(GST_STATE_PLAYING);
        self->lastProgress_ = std::chrono::steady_clock::now();
    });
    return true;
}

bool GstGraph::Stop() {
    startPending_ = false;
    running_ = false;
    if (!usable() || !boundedChange(GST_STATE_PAUSED))
        return false;
    return seek(0.0);
}

bool GstGraph::boundedChange(GstState state) {
    const auto changed = changeState(pipeline_.get(), state, StateTimeoutMs);
    if (!changed)
        giveUp("the audio output does not respond");
    return changed && *changed != GST_STATE_CHANGE_FAILURE;
}

// The output holds the stream: the clip is dead, the watchdog ends the announcement, and the
// pipeline is left to finish whatever call it is stuck in.
void GstGraph::giveUp(const char* why) const {
    abandoned_ = true;
    failed_ = true;
    qCWarning(lcPlayback).noquote() << "clip playback failed:" << why;
}

bool GstGraph::PlaybackFailed() const {
    pollBus();
    // An output that stops taking audio (a sound server that hangs, a pipe nobody reads any more)
    // raises no error: the position just stands still.
    if (running_ && !ended_ && !failed_) {
        updatePosition();
        const auto now = std::chrono::steady_clock::now();
        if (position_ != lastPosition_) {
            lastPosition_ = position_;
            lastProgress_ = now;
        } else if (now - lastProgress_ > std::chrono::milliseconds(StallTimeoutMs)) {
            giveUp("the audio output has stopped taking audio");
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
    gst_stream_volume_set_volume(GST_STREAM_VOLUME(volume_.get()), GST_STREAM_VOLUME_FORMAT_DB,
                                 hundredthsOfDb / 100.0);
    // Audio that has passed the volume element already waits in the sink. While playback has
    // not settled that is the preroll, the very start of the clip: make it again at the new level.
    GstState current = GST_STATE_VOID_PENDING;
    GstState pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(pipeline_.get(), &current, &pending, 0);
    if (!ended_ && (current != GST_STATE_PLAYING || pending != GST_STATE_VOID_PENDING))
        return seek(*CurrentPosition());
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
    if (ended_)
        return duration_;
    if (!failed_)
        updatePosition();
    return position_;
}

void GstGraph::updatePosition() const {
    gint64 nanoseconds = 0;
    if (gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &nanoseconds) && nanoseconds >= 0)
        position_ = std::min(toSeconds(nanoseconds), duration_);
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
    const guint32 seqnum = gst_event_get_seqnum(event);
    // A flush waits for the streaming thread, which an output that blocks may never give back.
    const auto sent = std::make_shared<std::atomic<bool>>(false);
    if (!finishesWithin(StateTimeoutMs, [sent, held = GST_ELEMENT(gst_object_ref(pipeline_.get())), event] {
            *sent = gst_element_send_event(held, event);
            gst_object_unref(held);
        })) {
        giveUp("the audio output does not respond");
        return false;
    }
    if (!*sent)
        return false;
    // The flush has stopped the old stream, so an end queued by now belongs to it, unless it
    // carries this seek's number (some parsers pass it on) and so comes from the new one.
    bool endedNow = target >= duration_;
    while (GstMessage* raw =
               gst_bus_pop_filtered(bus_.get(), GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
        const MessagePtr message(raw);
        if (GST_MESSAGE_TYPE(raw) == GST_MESSAGE_EOS && gst_message_get_seqnum(raw) == seqnum)
            endedNow = true;
        handle(raw, false);
    }
    ended_ = endedNow && !failed_;
    position_ = target;
    lastProgress_ = std::chrono::steady_clock::now();
    return !failed_;
}

std::shared_ptr<FilterGraph> GstGraphFactory::CreateGraph() {
    return std::make_shared<GstGraph>(sinkDescription_);
}
