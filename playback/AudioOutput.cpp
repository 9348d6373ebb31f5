// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioOutput.h"

#include "GstCalls.h"

#include <QHash>
#include <QLoggingCategory>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using namespace Qt::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcOutput, "tempovox.playback")

constexpr int Rate = 48000;
constexpr int BytesPerSample = 4; // one channel of 32-bit float
// The silence handed over while no clip has audio: short, because the next clip's first
// sample waits behind it.
constexpr int SilenceSamples = Rate / 500;
// Ahead of the output by at most this much of audio, besides what the output buffers itself.
constexpr guint64 QueueBytes = 2 * SilenceSamples * BytesPerSample;
// A sound server's own buffering is all that lies between a clip's last sample and the
// operator releasing the transmitter, so it is kept short.
constexpr gint64 BufferTimeUs = 60000;
constexpr gint64 LatencyTimeUs = 10000;
// A clip's decoder that falls behind for a moment is waited for this long before silence covers
// for it: well within what the output holds.
constexpr int FeedWaitMs = 10;
// However long an output has its audio, it has played it by then, or it never will.
constexpr gint64 LongestHoldUs = 1000000;
// An output that takes audio faster than it plays (a file) is fed no faster than real time.
constexpr gint64 LongestLeadUs = 500000;
constexpr int TeardownMs = 1000;

gint64 nanosecondsOf(gsize bytes) {
    return gint64(gst_util_uint64_scale(bytes / BytesPerSample, GST_SECOND, Rate));
}

bool isRealSink(GstElement* element) {
    const char* name = factoryName(element);
    return GST_OBJECT_FLAG_IS_SET(element, GST_ELEMENT_FLAG_SINK) && std::strcmp(name, "fakesink") != 0 &&
           std::strcmp(name, "fakeaudiosink") != 0;
}

// Only where the description left the sink's buffering as it comes.
void shortenBuffering(GstBin*, GstBin*, GstElement* element, gpointer) {
    if (!GST_IS_AUDIO_BASE_SINK(element))
        return;
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(element), "buffer-time");
    gint64 bufferTime = 0;
    g_object_get(element, "buffer-time", &bufferTime, nullptr);
    if (property && bufferTime == G_PARAM_SPEC_INT64(property)->default_value)
        g_object_set(element, "buffer-time", BufferTimeUs, "latency-time", LatencyTimeUs, nullptr);
}
} // namespace

struct AudioOutput::Stream {
    GstRef<GstElement> pipeline;
    GstRef<GstElement> source;
    GstRef<GstBus> bus;
    std::atomic<bool> stop{false};
    std::atomic<bool> broken{false};
    std::atomic<gint64> handedOver{0}; // audio handed to the output, silence included
    std::atomic<gint64> soundEnd{0};   // where the last clip audio ends on that time line
    std::atomic<gint64> soundAtUs{0};  // when it was handed over, on the monotonic clock

    std::mutex mutex;
    std::shared_ptr<ClipFeed> feed;
    gint64 usedAt = 0; // handedOver when a clip last asked for the stream
    bool closing = false;
};

std::shared_ptr<AudioOutput> AudioOutput::forSink(const QString& description) {
    // Lives as long as the process: the stream stays open across clips and closes when idle.
    static QHash<QString, std::shared_ptr<AudioOutput>> outputs;
    auto& output = outputs[description];
    if (!output)
        output = std::make_shared<AudioOutput>(description);
    return output;
}

AudioOutput::AudioOutput(QString description)
    : description_(std::move(description)) {}

AudioOutput::~AudioOutput() {
    close(TeardownMs);
}

GstCaps* AudioOutput::newClipCaps() {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, GST_AUDIO_NE(F32), "layout",
                               G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, Rate, "channels", G_TYPE_INT,
                               1, nullptr);
}

void AudioOutput::close(int timeoutMs) {
    if (!stream_)
        return;
    const auto stream = std::exchange(stream_, nullptr);
    stream->stop = true;
    // Flushing wakes a pump that waits on the output; one stuck in the output is left behind.
    if (!changeState(stream->pipeline.get(), GST_STATE_NULL, timeoutMs) && timeoutMs > 0)
        qCWarning(lcOutput) << "the audio output did not let go; it is left behind";
}

bool AudioOutput::open(const QString& clip, int timeoutMs, QString* error) {
    if (stream_) {
        const std::lock_guard lock(stream_->mutex);
        if (!stream_->closing && !stream_->broken) {
            stream_->usedAt = stream_->handedOver;
            return true;
        }
    }
    close(0);

    GstRef<GstElement> sink;
    if (description_.isEmpty()) {
        sink = makeElement("autoaudiosink", error);
    } else {
        GError* raw = nullptr;
        GstElement* bin = gst_parse_bin_from_description(description_.toUtf8().constData(), TRUE, &raw);
        sink = GstRef<GstElement>::take(bin);
        // The parser may hand back a partial bin together with an error; that is no output.
        if (raw || !sink) {
            *error = u"audio output '%1' is not valid: %2"_s.arg(
                description_, raw ? QString::fromUtf8(raw->message) : u"unknown error"_s);
            if (raw)
                g_error_free(raw);
            return false;
        }
    }
    auto source = sink ? makeElement("appsrc", error) : GstRef<GstElement>();
    auto convert = source ? makeElement("audioconvert", error) : GstRef<GstElement>();
    auto resample = convert ? makeElement("audioresample", error) : GstRef<GstElement>();
    if (!resample)
        return false;

    auto stream = std::make_shared<Stream>();
    stream->pipeline = GstRef<GstElement>::take(gst_pipeline_new(nullptr));
    gst_bin_add_many(GST_BIN(stream->pipeline.get()), source.get(), convert.get(), resample.get(), sink.get(),
                     nullptr);
    if (!gst_element_link_many(source.get(), convert.get(), resample.get(), sink.get(), nullptr)) {
        *error = u"the playback chain cannot be linked to audio output '%1'"_s.arg(description_);
        return false;
    }
    GstCaps* caps = newClipCaps();
    g_object_set(source.get(), "caps", caps, "format", GST_FORMAT_TIME, "block", TRUE, "max-bytes",
                 QueueBytes, nullptr);
    gst_caps_unref(caps);
    // "Auto" sinks make their device's element only when they start.
    g_signal_connect(stream->pipeline.get(), "deep-element-added", G_CALLBACK(&shortenBuffering), nullptr);
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(stream->pipeline.get()));
    gst_iterator_foreach(
        elements,
        [](const GValue* item, gpointer) {
            shortenBuffering(nullptr, nullptr, GST_ELEMENT(g_value_get_object(item)), nullptr);
        },
        nullptr);
    gst_iterator_free(elements);
    stream->source = std::move(source);
    stream->bus = GstRef<GstBus>::take(gst_element_get_bus(stream->pipeline.get()));
    stream_ = stream;
    std::thread(&AudioOutput::pump, stream).detach();

    const auto failure = [&](const QString& why) {
        close(0);
        *error = why;
        return false;
    };
    const QString tooLate = u"audio output '%1' did not take clip file '%2' within %3 s"_s
                                .arg(description_.isEmpty() ? u"default"_s : description_, clip)
                                .arg(timeoutMs / 1000);
    const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
    const auto changed = changeState(stream->pipeline.get(), GST_STATE_PLAYING, timeoutMs);
    if (!changed)
        return failure(tooLate);
    MessagePtr message;
    if (*changed == GST_STATE_CHANGE_ASYNC) {
        const gint64 remaining = deadline - g_get_monotonic_time();
        if (remaining > 0)
            message.reset(
                gst_bus_timed_pop_filtered(stream->bus.get(), remaining * GST_USECOND,
                                           GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR)));
        if (!message)
            return failure(tooLate);
    } else {
        message.reset(gst_bus_pop_filtered(stream->bus.get(), GST_MESSAGE_ERROR));
    }
    if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
        return failure(u"cannot open the audio output: %1"_s.arg(messageText(message.get())));
    if (*changed == GST_STATE_CHANGE_FAILURE)
        return failure(u"cannot open the audio output '%1'"_s.arg(description_));
    // autoaudiosink quietly falls back to a fake sink when no device answers; a clock that
    // announces into nothing must say so instead.
    if (description_.isEmpty() && !containsElement(sink.get(), isRealSink))
        return failure(u"no audio output device is available"_s);
    return true;
}

GstElement* AudioOutput::pipeline() const {
    if (!stream_)
        return nullptr;
    const std::lock_guard lock(stream_->mutex);
    return stream_->closing || stream_->broken ? nullptr : stream_->pipeline.get();
}

bool AudioOutput::attach(std::shared_ptr<ClipFeed> feed) {
    if (!stream_)
        return false;
    const std::lock_guard lock(stream_->mutex);
    if (stream_->closing || stream_->broken)
        return false;
    stream_->feed = std::move(feed);
    stream_->usedAt = stream_->handedOver;
    return true;
}

void AudioOutput::detach(const ClipFeed* feed) {
    if (!stream_)
        return;
    const std::lock_guard lock(stream_->mutex);
    if (stream_->feed.get() == feed)
        stream_->feed.reset();
}

bool AudioOutput::failed() {
    if (!stream_)
        return false;
    if (const MessagePtr message{gst_bus_pop_filtered(stream_->bus.get(), GST_MESSAGE_ERROR)}) {
        QString details;
        const QString text = messageText(message.get(), &details);
        qCWarning(lcOutput).noquote() << "the audio output failed:" << text << details;
        stream_->broken = true;
    }
    return stream_->broken;
}

bool AudioOutput::sounding() {
    // Asked every second while idle: the clock alone answers then.
    if (!stream_ || g_get_monotonic_time() - stream_->soundAtUs > LongestHoldUs || failed())
        return false;
    gint64 played = 0;
    return gst_element_query_position(stream_->pipeline.get(), GST_FORMAT_TIME, &played) &&
           played < stream_->soundEnd;
}

// Hands the output one buffer after the other, as fast as it takes them: the attached clip's
// audio while it has some, silence otherwise. Runs until the stream is closed or falls idle.
void AudioOutput::pump(std::shared_ptr<Stream> stream) {
    auto* source = GST_APP_SRC(stream->source.get());
    gint64 startedUs = 0;
    while (!stream->stop && !stream->broken) {
        std::shared_ptr<ClipFeed> feed;
        {
            const std::lock_guard lock(stream->mutex);
            feed = stream->feed;
            // A clip that has ended stays attached as long as it stays loaded, which may be
            // until the next announcement.
            bool waiting = !feed;
            if (feed) {
                const std::lock_guard feedLock(feed->mutex);
                waiting = feed->ended;
            }
            if (waiting && stream->handedOver - std::max(stream->usedAt, stream->soundEnd.load()) >
                               gint64(IdleCloseMs) * GST_MSECOND) {
                stream->closing = true;
                break;
            }
        }
        GstBuffer* buffer = nullptr;
        if (feed) {
            unsigned generation = 0;
            {
                const std::lock_guard lock(feed->mutex);
                generation = feed->generation;
            }
            auto* sink = GST_APP_SINK(feed->sink.get());
            if (GstSample* sample = gst_app_sink_try_pull_sample(sink, FeedWaitMs * GST_MSECOND)) {
                GstBuffer* taken = gst_sample_get_buffer(sample);
                const GstSegment* segment = gst_sample_get_segment(sample);
                const guint64 end = GST_BUFFER_PTS(taken) + GST_BUFFER_DURATION(taken);
                guint64 streamTime = GST_CLOCK_TIME_NONE;
                if (GST_BUFFER_PTS_IS_VALID(taken) && GST_BUFFER_DURATION_IS_VALID(taken))
                    streamTime = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, end);
                buffer = gst_buffer_copy(taken);
                gst_sample_unref(sample);
                feed->taken += nanosecondsOf(gst_buffer_get_size(buffer));
                const std::lock_guard lock(feed->mutex);
                if (feed->generation == generation && GST_CLOCK_TIME_IS_VALID(streamTime))
                    feed->reached = gint64(streamTime);
            } else if (gst_app_sink_is_eos(sink)) {
                const std::lock_guard lock(feed->mutex);
                if (feed->generation == generation)
                    feed->ended = true;
            }
        }
        const bool sound = buffer != nullptr;
        if (!buffer) {
            buffer = gst_buffer_new_allocate(nullptr, SilenceSamples * BytesPerSample, nullptr);
            gst_buffer_memset(buffer, 0, 0, SilenceSamples * BytesPerSample);
        }
        const gint64 at = stream->handedOver;
        const gint64 length = nanosecondsOf(gst_buffer_get_size(buffer));
        GST_BUFFER_PTS(buffer) = GstClockTime(at);
        GST_BUFFER_DURATION(buffer) = GstClockTime(length);
        // Blocks while the output is full, which paces this loop.
        const GstFlowReturn flow = gst_app_src_push_buffer(source, buffer);
        if (flow == GST_FLOW_FLUSHING) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // not started yet, or closing
            continue;
        }
        if (flow != GST_FLOW_OK) {
            stream->broken = true;
            break;
        }
        const gint64 now = g_get_monotonic_time();
        if (at == 0)
            startedUs = now;
        stream->handedOver = at + length;
        if (sound) {
            stream->soundEnd = at + length;
            stream->soundAtUs = now;
        }
        if (const gint64 lead = (at + length) / 1000 - (now - startedUs); lead > LongestLeadUs)
            std::this_thread::sleep_for(std::chrono::microseconds(lead - LongestLeadUs));
    }
    if (stream->closing)
        gst_element_set_state(stream->pipeline.get(), GST_STATE_NULL);
}
