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
#include <condition_variable>
#include <cstring>
#include <deque>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcOutput, "tempovox.playback")

constexpr int Rate = 48000;
constexpr int BytesPerSample = 4; // one channel of 32-bit float
// The silence handed over while no clip has audio: short, because the next clip's first
// sample waits behind it.
constexpr int SilenceSamples = Rate / 500;
// Ahead of the output by at most this much of a clip's audio, besides what the output buffers
// itself: enough to ride out a busy moment of this thread, little enough that a change is heard at
// once. Silence is kept shorter still, as the next clip's first sample waits behind it.
constexpr guint64 QueueBytes = Rate * 20 / 1000 * BytesPerSample;
constexpr guint64 SilenceQueueBytes = 2 * SilenceSamples * BytesPerSample;
// A clip's audio is handed over in slices this long: a seek, a new level or a stop applies to
// everything after the slice under way, whatever the size of the decoder's buffers.
constexpr gsize SliceBytes = Rate / 100 * BytesPerSample;
// Pulled ahead of the slices, so that the next clip has this long to load after one ends.
constexpr gsize LookaheadBytes = Rate * 40 / 1000 * BytesPerSample;
// A sound server's own buffering is all that lies between a clip's last sample and the
// operator releasing the transmitter, so it is kept short.
constexpr gint64 BufferTimeUs = 60000;
constexpr gint64 LatencyTimeUs = 10000;
// A clip's decoder that falls behind for a moment is waited for this long before silence covers
// for it: well within what the output holds.
constexpr int FeedWaitMs = 10;
constexpr int LongestFeedWaitMs = 100;
constexpr gint64 LongBufferUs = 500000;
// Once an output has had its audio for all it may hold and this much more, it has played it,
// or it never will.
constexpr gint64 HoldSlackUs = 1000000;
// An output that takes audio faster than it plays (a file) is fed no faster than real time,
// ahead by no more than its own buffer and this.
constexpr gint64 LongestLeadUs = 500000;
// A stream that is stopping normally lets go of its device within this; the next one waits
// that long for it, as an exclusive device opens only once the old stream has closed it.
constexpr int LetGoMs = 500;
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

// The most audio any sound card sink in `bin` holds, in microseconds.
gint64 bufferedUs(GstElement* bin) {
    gint64 longest = 0;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(bin));
    gst_iterator_foreach(
        elements,
        [](const GValue* item, gpointer data) {
            auto* element = GST_ELEMENT(g_value_get_object(item));
            shortenBuffering(nullptr, nullptr, element, nullptr);
            if (GST_IS_AUDIO_BASE_SINK(element)) {
                gint64 bufferTime = 0;
                g_object_get(element, "buffer-time", &bufferTime, nullptr);
                // Once the device is open its ring buffer says what it really holds: a sound
                // server may grant less than was asked for.
                GST_OBJECT_LOCK(element);
                if (const GstAudioRingBuffer* ring = GST_AUDIO_BASE_SINK(element)->ringbuffer;
                    ring && ring->acquired) {
                    const GstAudioRingBufferSpec& format = ring->spec;
                    if (format.info.rate > 0 && format.info.bpf > 0)
                        bufferTime = gint64(gst_util_uint64_scale(
                            guint64(format.segtotal) * guint64(format.segsize), G_USEC_PER_SEC,
                            guint64(format.info.rate) * guint64(format.info.bpf)));
                }
                GST_OBJECT_UNLOCK(element);
                *static_cast<gint64*>(data) = std::max(*static_cast<gint64*>(data), bufferTime);
            }
        },
        &longest);
    gst_iterator_free(elements);
    return longest;
}

// A clip's audio pulled from its appsink and not handed over yet: a little of it, so that the
// clip's end is known while some of it is still to come. The samples go back to the appsink at
// once, which reuses them; the buffers stay.
struct Pending {
    struct Part {
        GstBuffer* buffer;
        GstSegment segment;
    };
    std::deque<Part> parts;
    gsize offset = 0; // into the first part
    gsize bytes = 0;  // left in all of them
    unsigned flushes = 0;
    std::shared_ptr<ClipFeed> feed;

    bool empty() const { return parts.empty(); }
    void add(GstSample* sample, unsigned flushCount, const std::shared_ptr<ClipFeed>& from) {
        if (!parts.empty() && (flushCount != flushes || from != feed))
            reset();
        if (GstBuffer* buffer = gst_sample_get_buffer(sample)) {
            Part part{gst_buffer_ref(buffer), {}};
            gst_segment_copy_into(gst_sample_get_segment(sample), &part.segment);
            parts.push_back(part);
            bytes += gst_buffer_get_size(buffer);
            flushes = flushCount;
            feed = from;
        }
        gst_sample_unref(sample);
    }
    void popFront() {
        gst_buffer_unref(parts.front().buffer);
        parts.pop_front();
        offset = 0;
        if (parts.empty())
            feed.reset();
    }
    void reset() {
        while (!parts.empty())
            popFront();
        bytes = 0;
    }
};

// The next slice of `pending` at the clip's level; the stream time its end reaches goes to *end.
GstBuffer* takeSlice(Pending& pending, gint64* end) {
    const auto feed = pending.feed;
    GstBuffer* whole = pending.parts.front().buffer;
    GstMapInfo in;
    if (!gst_buffer_map(whole, &in, GST_MAP_READ)) {
        pending.reset();
        return nullptr;
    }
    const gsize length = std::min(SliceBytes, in.size - pending.offset);
    GstBuffer* slice = gst_buffer_new_allocate(nullptr, length, nullptr);
    GstMapInfo out;
    gst_buffer_map(slice, &out, GST_MAP_WRITE);
    const float gain = feed->gain;
    const auto* from = reinterpret_cast<const float*>(in.data + pending.offset);
    auto* to = reinterpret_cast<float*>(out.data);
    for (gsize i = 0; i < length / BytesPerSample; ++i)
        to[i] = from[i] * gain;
    gst_buffer_unmap(slice, &out);
    pending.offset += length;
    pending.bytes -= length;
    *end = -1;
    if (GST_BUFFER_PTS_IS_VALID(whole) && GST_BUFFER_DURATION_IS_VALID(whole)) {
        const guint64 at = GST_BUFFER_PTS(whole) +
                           gst_util_uint64_scale(GST_BUFFER_DURATION(whole), pending.offset, in.size);
        const guint64 streamTime =
            gst_segment_to_stream_time(&pending.parts.front().segment, GST_FORMAT_TIME, at);
        if (GST_CLOCK_TIME_IS_VALID(streamTime))
            *end = gint64(streamTime);
    }
    const bool done = pending.offset >= in.size;
    gst_buffer_unmap(whole, &in);
    if (done)
        pending.popFront();
    return slice;
}
} // namespace

ClipFeed::ClipFeed(GstElement* appsink)
    : sink(GstRef<GstElement>::share(appsink)) {}

struct AudioOutput::Stream {
    GstRef<GstElement> pipeline;
    GstRef<GstElement> source;
    GstRef<GstBus> bus;
    std::atomic<bool> stop{false};
    std::atomic<bool> broken{false};
    std::atomic<bool> hung{false};     // the output has taken nothing for a while
    std::atomic<gint64> handedOver{0}; // audio handed to the output, silence included
    std::atomic<gint64> soundEnd{0};   // where the last clip audio ends on that time line
    std::atomic<gint64> soundAtUs{0};  // when it was handed over, on the monotonic clock
    std::atomic<gint64> bufferUs{0};   // what the output holds before it plays

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<GstStateChangeReturn> started; // the stream's start has returned
    bool finished = false;                       // the thread has let the output go
    std::shared_ptr<ClipFeed> feed;
    gint64 usedAt = 0; // handedOver when a clip last asked for the stream
    bool closing = false;

    bool gone() const { return stop || broken || closing; }
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
    if (!stream_)
        return;
    stream_->stop = true;
    if (!letGo(*stream_, TeardownMs))
        qCWarning(lcOutput) << "the audio output did not let go; it is left behind";
}

GstCaps* AudioOutput::newClipCaps() {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, GST_AUDIO_NE(F32), "layout",
                               G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, Rate, "channels", G_TYPE_INT,
                               1, nullptr);
}

QString AudioOutput::name() const {
    return description_.isEmpty() ? u"default"_s : description_;
}

bool AudioOutput::letGo(Stream& stream, int timeoutMs) {
    std::unique_lock lock(stream.mutex);
    return stream.changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                   [&] { return stream.finished; });
}

bool AudioOutput::open(const QString& clip, int timeoutMs, QString* error) {
    const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
    if (stream_) {
        std::unique_lock lock(stream_->mutex);
        if (!stream_->gone() && stream_->hung) {
            *error = u"audio output '%1' has stopped taking audio; clip file '%2' is not played"_s.arg(name(),
                                                                                                       clip);
            return false;
        }
        if (!stream_->gone()) {
            stream_->usedAt = stream_->handedOver;
            return true;
        }
        // An output that never even opened is not tried again while that try still hangs.
        if (!stream_->started && !stream_->finished) {
            *error = u"audio output '%1' is still stuck opening from an earlier try"_s.arg(name());
            return false;
        }
        lock.unlock();
        stream_->stop = true;
        if (!letGo(*stream_, LetGoMs)) {
            *error = u"audio output '%1' is still held by a stream that does not let go"_s.arg(name());
            return false;
        }
        stream_.reset();
    }

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
    // Never blocks: the pump looks at the queue itself, so that it can always stop.
    g_object_set(source.get(), "caps", caps, "format", GST_FORMAT_TIME, "block", FALSE, "max-bytes",
                 QueueBytes, nullptr);
    gst_caps_unref(caps);
    // "Auto" sinks make their device's element only when they start.
    g_signal_connect(stream->pipeline.get(), "deep-element-added", G_CALLBACK(&shortenBuffering), nullptr);
    const auto tooLong = [&](gint64 bufferUs) {
        if (longestHoldMs_ <= 0 || bufferUs < gint64(longestHoldMs_) * 1000)
            return false;
        *error =
            u"audio output '%1' buffers %2 s of audio, as long as the transmitter may stay keyed (%3 s): "
            "no announcement could be heard in full; give it a shorter buffer-time"_s.arg(name())
                .arg(double(bufferUs) / 1e6)
                .arg(longestHoldMs_ / 1000);
        return true;
    };
    stream->bufferUs = bufferedUs(stream->pipeline.get());
    if (tooLong(stream->bufferUs))
        return false;
    stream->source = std::move(source);
    stream->bus = GstRef<GstBus>::take(gst_element_get_bus(stream->pipeline.get()));
    stream_ = stream;
    std::thread(&AudioOutput::run, stream).detach();

    const auto failure = [&](const QString& why) {
        stream->stop = true;
        *error = why;
        return false;
    };
    const QString tooLate = u"audio output '%1' did not take clip file '%2' within %3 s"_s.arg(name(), clip)
                                .arg(timeoutMs / 1000);
    std::optional<GstStateChangeReturn> changed;
    {
        std::unique_lock lock(stream->mutex);
        stream->changed.wait_for(lock, std::chrono::microseconds(deadline - g_get_monotonic_time()),
                                 [&] { return stream->started.has_value(); });
        changed = stream->started;
    }
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
    stream->bufferUs = bufferedUs(stream->pipeline.get());
    if (tooLong(stream->bufferUs)) {
        stream->stop = true;
        return false;
    }
    return true;
}

GstElement* AudioOutput::pipeline() const {
    if (!stream_)
        return nullptr;
    const std::lock_guard lock(stream_->mutex);
    return stream_->gone() ? nullptr : stream_->pipeline.get();
}

bool AudioOutput::attach(std::shared_ptr<ClipFeed> feed) {
    if (!stream_)
        return false;
    const std::lock_guard lock(stream_->mutex);
    if (stream_->gone() || stream_->hung)
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

bool AudioOutput::failed(QString* why) {
    if (!stream_)
        return false;
    if (const MessagePtr message{gst_bus_pop_filtered(stream_->bus.get(), GST_MESSAGE_ERROR)}) {
        QString details;
        const QString text = messageText(message.get(), &details);
        qCWarning(lcOutput).noquote() << "the audio output failed:" << text << details;
        stream_->broken = true;
    }
    if (why)
        *why = stream_->hung ? u"the audio output has stopped taking audio"_s : u"the audio output failed"_s;
    return stream_->broken || (stream_->hung && !stream_->stop);
}

bool AudioOutput::sounding() {
    if (!stream_)
        return false;
    // Asked every second while idle: the clock alone answers then.
    // The output's word is taken for as long as the transmitter may stay keyed. Without a time-out,
    // the audio may be ahead of it by its buffer, as much again in a sound server and the lead.
    const gint64 since = g_get_monotonic_time() - stream_->soundAtUs;
    const gint64 boundUs = longestHoldMs_ > 0 ? gint64(longestHoldMs_) * 1000
                                              : 2 * stream_->bufferUs + LongestLeadUs + HoldSlackUs;
    if (since > boundUs || failed())
        return false;
    gint64 played = 0;
    // A sound server starts to play only once its buffer is full, while the position runs on from
    // the start: nothing handed over is heard before a buffer's worth has followed it.
    if (gst_element_query_position(stream_->pipeline.get(), GST_FORMAT_TIME, &played))
        return std::min(played, stream_->handedOver - stream_->bufferUs * 1000) < stream_->soundEnd;
    // An output that does not say where it is has played its audio once its buffer has passed.
    return since < stream_->bufferUs + LatencyTimeUs;
}

// Starts the stream, pumps it until it is stopped, closes or breaks, and stops it. Only this
// thread changes the stream's state, so one output never has more than one change pending.
void AudioOutput::run(std::shared_ptr<Stream> stream) {
    const GstStateChangeReturn result = gst_element_set_state(stream->pipeline.get(), GST_STATE_PLAYING);
    {
        const std::lock_guard lock(stream->mutex);
        stream->started = result;
        stream->changed.notify_all();
    }
    if (result != GST_STATE_CHANGE_FAILURE)
        pump(*stream);
    gst_element_set_state(stream->pipeline.get(), GST_STATE_NULL);
    const std::lock_guard lock(stream->mutex);
    stream->feed.reset();
    stream->finished = true;
    stream->changed.notify_all();
}

// Hands the output one slice after the other, as fast as it takes them: the attached clip's
// audio while it has some, silence otherwise. No call here waits on the output.
void AudioOutput::pump(Stream& stream) {
    auto* source = GST_APP_SRC(stream.source.get());
    gint64 startedUs = 0;
    gint64 lastPushUs = g_get_monotonic_time();
    // The output has its queue's worth: looked at often while it takes audio, seldom once it has
    // stopped, which after HangMs makes it hung.
    const auto waitForOutput = [&] {
        const gint64 waitedUs = g_get_monotonic_time() - lastPushUs;
        if (waitedUs > gint64(HangMs) * 1000 && !stream.hung.exchange(true))
            qCWarning(lcOutput) << "the audio output has stopped taking audio";
        std::this_thread::sleep_for(std::chrono::milliseconds(waitedUs > 50000 ? 20 : 1));
    };
    Pending pending;
    while (!stream.stop && !stream.broken) {
        if (gst_app_src_get_current_level_bytes(source) >= QueueBytes) {
            waitForOutput();
            continue;
        }

        std::shared_ptr<ClipFeed> feed;
        gint64 quietSince = 0;
        bool waiting = false;
        {
            const std::lock_guard lock(stream.mutex);
            feed = stream.feed;
            // A clip that has ended stays attached as long as it stays loaded, which may be
            // until the next announcement.
            waiting = !feed;
            if (feed) {
                const std::lock_guard feedLock(feed->mutex);
                waiting = feed->ended;
            }
            quietSince = std::max(stream.usedAt, stream.soundEnd.load());
        }
        const gint64 idleNs = gint64(IdleCloseMs) * GST_MSECOND;
        if (waiting && stream.handedOver - quietSince > idleNs) {
            // Closes once the silence has been played, not just handed over: the output's
            // buffer still holds the end of the last clip until then.
            gint64 played = 0;
            if (!gst_element_query_position(stream.pipeline.get(), GST_FORMAT_TIME, &played))
                played = stream.handedOver - stream.bufferUs * 1000;
            const std::lock_guard lock(stream.mutex);
            if (played - quietSince > idleNs && stream.usedAt <= quietSince && stream.feed == feed) {
                stream.closing = true;
                break;
            }
        }

        if (!pending.empty()) {
            // A clip's last buffers play out after the next clip is attached, which is what
            // keeps the two seamless; a clip moved, stopped or dropped before its end does not.
            const auto from = pending.feed;
            bool stale = pending.flushes != from->flushes;
            if (!stale && from != feed) {
                const std::lock_guard lock(from->mutex);
                stale = !from->ended;
            }
            if (stale)
                pending.reset();
        }
        if (feed && (pending.empty() || pending.feed == feed)) {
            const unsigned flushes = feed->flushes;
            auto* sink = GST_APP_SINK(feed->sink.get());
            while (pending.bytes < LookaheadBytes) {
                // A decoder that falls behind is waited for no longer than the output has queued,
                // so that the output never runs dry. An output that holds a lot takes it fast at
                // first, and waits for the decoder rather than hear silence in mid-clip.
                const gint64 queuedMs =
                    gint64(gst_app_src_get_current_level_bytes(source)) * 1000 / (Rate * BytesPerSample);
                const gint64 waitMs = !pending.empty() ? 0
                                      : stream.bufferUs >= LongBufferUs
                                          ? LongestFeedWaitMs
                                          : std::min<gint64>(queuedMs, FeedWaitMs);
                GstSample* sample = gst_app_sink_try_pull_sample(sink, waitMs * GST_MSECOND);
                if (!sample)
                    break;
                pending.add(sample, flushes, feed);
            }
            // Once the decoder has delivered all of the clip, the clip counts as taken: the next
            // one loads while the rest plays.
            if (gst_app_sink_is_eos(sink)) {
                const std::lock_guard lock(feed->mutex);
                if (!feed->seeking && feed->flushes == flushes)
                    feed->ended = true;
            }
        }
        GstBuffer* buffer = nullptr;
        if (!pending.empty()) {
            const auto from = pending.feed;
            const unsigned flushes = pending.flushes;
            gint64 end = -1;
            buffer = takeSlice(pending, &end);
            if (buffer) {
                from->taken += nanosecondsOf(gst_buffer_get_size(buffer));
                const std::lock_guard lock(from->mutex);
                if (end >= 0 && !from->seeking && from->flushes == flushes)
                    from->reached = end;
            }
        }
        const bool sound = buffer != nullptr;
        if (!buffer && gst_app_src_get_current_level_bytes(source) >= SilenceQueueBytes) {
            waitForOutput();
            continue;
        }
        if (!buffer) {
            buffer = gst_buffer_new_allocate(nullptr, SilenceSamples * BytesPerSample, nullptr);
            gst_buffer_memset(buffer, 0, 0, SilenceSamples * BytesPerSample);
        }
        const gint64 at = stream.handedOver;
        const gint64 length = nanosecondsOf(gst_buffer_get_size(buffer));
        GST_BUFFER_PTS(buffer) = GstClockTime(at);
        GST_BUFFER_DURATION(buffer) = GstClockTime(length);
        const GstFlowReturn flow = gst_app_src_push_buffer(source, buffer);
        if (flow == GST_FLOW_FLUSHING)
            break; // stopping
        if (flow != GST_FLOW_OK) {
            stream.broken = true;
            break;
        }
        const gint64 now = g_get_monotonic_time();
        lastPushUs = now;
        if (stream.hung.exchange(false))
            qCInfo(lcOutput) << "the audio output takes audio again";
        if (at == 0)
            startedUs = now;
        stream.handedOver = at + length;
        if (sound) {
            stream.soundEnd = at + length;
            stream.soundAtUs = now;
        }
        const gint64 longestLead = stream.bufferUs + LongestLeadUs;
        if (const gint64 lead = (at + length) / 1000 - (now - startedUs); lead > longestLead)
            std::this_thread::sleep_for(std::chrono::microseconds(lead - longestLead));
    }
    pending.reset();
}
