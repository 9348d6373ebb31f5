// SPDX-License-Identifier: GPL-3.0-or-later
#include "DtmfDecoder.h"

#include <spandsp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace {
// The detector reports on the time of the block it was given; 5 ms keeps that time close.
constexpr std::size_t ChunkSamples = 40;
// The DC blocker's pole: a corner near 6 Hz, far below the lowest DTMF tone.
constexpr float DcPole = 0.995f;
// Longer than the detector's two blocks of 12.75 ms a lost tone takes to be found again,
// shorter than the 40 ms pause between two presses of one key that must be heard as two.
constexpr std::int64_t DropoutSamples = DtmfDecoder::SampleRate * 30 / 1000;
constexpr std::int64_t NoDeadline = std::numeric_limits<std::int64_t>::max();

bool isDtmfDigit(int code) {
    return (code >= '0' && code <= '9') || code == '*' || code == '#' || (code >= 'A' && code <= 'D');
}
} // namespace

DtmfDecoder::DtmfDecoder()
    : DtmfDecoder(Options{}) {}

DtmfDecoder::DtmfDecoder(Options options)
    : options_(options)
    , gapSamples_(std::int64_t(std::max(0, options.gapMs)) * SampleRate / 1000) {
    restartDetector();
}

DtmfDecoder::~DtmfDecoder() {
    dtmf_rx_free(detector_);
}

void DtmfDecoder::restartDetector() {
    if (detector_)
        dtmf_rx_free(detector_);
    // The realtime callback reports both the start and the end of each tone; the plain digits
    // callback would tell only the start, and the gap is timed from the end.
    detector_ = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx_set_realtime_callback(detector_, &DtmfDecoder::onTone, this);
    dtmf_rx_parms(detector_, -1, options_.twistDb, options_.reverseTwistDb, options_.thresholdDbm0);
    tone_ = 0;
    lastTone_ = 0;
    previousIn_ = 0.0f;
    previousOut_ = 0.0f;
}

std::int64_t DtmfDecoder::deadline() const {
    if (digits_.isEmpty() || tone_ != 0)
        return NoDeadline;
    return lastToneEnd_ + gapSamples_;
}

QStringList DtmfDecoder::feed(std::span<const std::int16_t> samples) {
    QStringList done;
    while (!samples.empty()) {
        if (now_ >= deadline())
            finishSequence(&done);
        // Cut at the deadline, so that a digit after it starts a sequence of its own.
        std::size_t count = std::min(samples.size(), ChunkSamples);
        if (const std::int64_t end = deadline(); end != NoDeadline)
            count = std::min<std::size_t>(count, std::size_t(end - now_));
        if (!muted_)
            decode(samples.first(count), &done);
        now_ += std::int64_t(count);
        samples = samples.subspan(count);
    }
    if (now_ >= deadline())
        finishSequence(&done);
    return done;
}

void DtmfDecoder::decode(std::span<const std::int16_t> samples, QStringList* done) {
    std::array<std::int16_t, ChunkSamples> filtered;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float in = samples[i];
        previousOut_ = in - previousIn_ + DcPole * previousOut_;
        previousIn_ = in;
        filtered[i] = std::int16_t(std::clamp(std::lround(previousOut_), -32768L, 32767L));
    }
    chunkEnd_ = now_ + std::int64_t(samples.size());
    completed_ = done;
    dtmf_rx(detector_, filtered.data(), int(samples.size()));
    completed_ = nullptr;
}

void DtmfDecoder::onTone(void* self, int code, int, int) {
    auto* decoder = static_cast<DtmfDecoder*>(self);
    if (code == 0) {
        if (decoder->tone_ != 0) {
            decoder->lastTone_ = std::exchange(decoder->tone_, char(0));
            decoder->lastToneEnd_ = decoder->chunkEnd_;
        }
        return;
    }
    // One digit may follow another without a pause in between; a repeat of the same code is
    // the same key still held.
    if (!isDtmfDigit(code) || code == decoder->tone_)
        return;
    // A weak tone can drop out for a block of the detector; back so soon, it is the same key.
    const bool dropout = code == decoder->lastTone_ && !decoder->digits_.isEmpty() &&
                         decoder->chunkEnd_ - decoder->lastToneEnd_ <= DropoutSamples;
    decoder->tone_ = char(code);
    if (dropout)
        return;
    decoder->digits_.append(QLatin1Char(char(code)));
    if (decoder->digits_.size() >= MaxDigits && decoder->completed_)
        decoder->finishSequence(decoder->completed_);
}

void DtmfDecoder::finishSequence(QStringList* done) {
    if (!digits_.isEmpty())
        done->append(std::exchange(digits_, QString()));
}

QString DtmfDecoder::flush() {
    return std::exchange(digits_, QString());
}

void DtmfDecoder::setMuted(bool muted) {
    if (muted == muted_)
        return;
    muted_ = muted;
    digits_.clear();
    tone_ = 0;
    lastTone_ = 0;
    // Whatever the detector had half heard belongs to the audio that was skipped.
    if (!muted)
        restartDetector();
}
