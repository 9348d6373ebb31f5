// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>

struct dtmf_rx_state_s;

// Turns received audio into DTMF digit sequences: 0-9, *, #, A-D. The audio is 8 kHz mono
// 16-bit; time is the number of samples fed so far, so a test can drive it sample by sample.
// A sequence ends once no new digit has begun for gapMs after the last digit's tone ended: a
// key held down is one digit however long it is held, and does not end its own sequence.
// No threads and no locks: one caller at a time.
class DtmfDecoder {
public:
    static constexpr int SampleRate = 8000;
    static constexpr int DefaultGapMs = 1500;
    // A sequence this long is handed on at once, so a stuck generator cannot grow one for ever.
    static constexpr int MaxDigits = 64;

    struct Options {
        int gapMs = DefaultGapMs; // negative counts as 0: each digit is a sequence of its own
        // Detector tuning; a negative twist, or a threshold at or below -99, keeps the detector's
        // own value (8 dB twist, 4 dB reverse twist, and a threshold that passes tones peaking
        // above about -45 dBFS each). The detector's own twist limits sit right on the 8 dB and
        // 4 dB that a receiver must accept and lose keys there; these leave about 2 dB to spare.
        int twistDb = 11;       // the high tone this much weaker than the low one
        int reverseTwistDb = 7; // the high tone this much stronger
        int thresholdDbm0 = -99;
    };

    DtmfDecoder();
    explicit DtmfDecoder(Options options);
    ~DtmfDecoder();
    DtmfDecoder(const DtmfDecoder&) = delete;
    DtmfDecoder& operator=(const DtmfDecoder&) = delete;

    // Decodes the next samples. Returns the sequences that ended within them, oldest first;
    // a sequence ends at the very sample where its gap runs out, whatever the block size.
    QStringList feed(std::span<const std::int16_t> samples);
    // Hands on the sequence in progress at once (the stream has ended); empty when none is.
    QString flush();
    // While muted the audio is skipped, though time goes on, and the sequence in progress is
    // dropped. Unmuting starts the detector afresh.
    void setMuted(bool muted);
    bool muted() const { return muted_; }
    std::int64_t samplesFed() const { return now_; }

private:
    static void onTone(void* self, int code, int level, int delay);
    void restartDetector();
    void decode(std::span<const std::int16_t> samples, QStringList* done);
    void finishSequence(QStringList* done);
    std::int64_t deadline() const;

    Options options_;
    std::int64_t gapSamples_;
    dtmf_rx_state_s* detector_ = nullptr;
    QString digits_;
    QStringList* completed_ = nullptr; // where onTone puts sequences that reach MaxDigits
    char tone_ = 0;                    // the digit whose tone is on now, 0 for none
    char lastTone_ = 0;                // the digit whose tone ended last
    std::int64_t now_ = 0;
    std::int64_t chunkEnd_ = 0; // the time onTone stamps on what it hears
    std::int64_t lastToneEnd_ = 0;
    bool muted_ = false;
    // The DC blocker's memory: the detector fails outright on audio with an offset.
    float previousIn_ = 0.0f;
    float previousOut_ = 0.0f;
};
