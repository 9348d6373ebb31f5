// SPDX-License-Identifier: GPL-3.0-or-later
#include "EndToEndVoice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

namespace e2e {

namespace {

constexpr int ClipRate = 44100;
constexpr int WindowSamples = RecordRate / 50; // 20 ms: every tone fits a whole number of cycles
constexpr double WindowSeconds = double(WindowSamples) / RecordRate;
// Shorter runs are what a clip leaves behind when it is started and replaced in the same tick.
constexpr int MinimumWindows = 5;
// A recorded clip may carry up to a few buffers more than its length: the sink renders the
// buffer it prerolled, and again after the flushing seek that applies volume and rate.
constexpr double ExtraSeconds = 0.1;

double lengthFactor = 1.0;

QList<VoiceClip> makeVoice() {
    // Fixed words get odd milliseconds and numbers even ones, so that no two clips have the
    // same length: the program takes equal duration texts for the end of a clip.
    const std::pair<const char*, double> words[] = {
        {"Blank", 0.251},       {"DingDong", 0.361},    {"DingDong2", 0.383},
        {"GoodMorning", 0.405}, {"GoodEvening", 0.421}, {"GoodAfternoon", 0.393},
        {"TheTimeIs", 0.303},   {"Hour", 0.271},        {"Minutes", 0.333},
        {"AM", 0.265},          {"PM", 0.289},
    };
    QList<VoiceClip> voice;
    for (const auto& [stem, seconds] : words)
        voice.append({QString::fromLatin1(stem), 0.0, seconds});
    for (int n = 0; n < 60; ++n)
        voice.append({QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')), 0.0, 0.28 + 0.002 * n});
    // 50 Hz apart: tones that are orthogonal over a 20 ms window, all below 4 kHz.
    for (qsizetype i = 0; i < voice.size(); ++i) {
        voice[i].frequency = 400.0 + 50.0 * double(i);
        voice[i].seconds *= lengthFactor;
    }
    return voice;
}

QByteArray wavFile(const VoiceClip& clip) {
    const int samples = int(std::lround(clip.seconds * ClipRate));
    const int fade = ClipRate / 200; // 5 ms: no clicks at the edges
    QByteArray data(samples * 2, Qt::Uninitialized);
    for (int n = 0; n < samples; ++n) {
        const double edge = std::min({1.0, double(n) / fade, double(samples - 1 - n) / fade});
        const double value =
            0.5 * edge * std::sin(2.0 * std::numbers::pi * clip.frequency * double(n) / ClipRate);
        qToLittleEndian<qint16>(qint16(std::lround(value * 32767.0)), data.data() + 2 * n);
    }
    QByteArray header(44, '\0');
    char* h = header.data();
    const auto put32 = [](char* at, quint32 v) {
        qToLittleEndian<quint32>(v, at);
    };
    const auto put16 = [](char* at, quint16 v) {
        qToLittleEndian<quint16>(v, at);
    };
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, quint32(36 + data.size()));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1); // PCM
    put16(h + 22, 1); // mono
    put32(h + 24, ClipRate);
    put32(h + 28, ClipRate * 2);
    put16(h + 32, 2);
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, quint32(data.size()));
    return header + data;
}

bool writeWavs(const QString& folder, QString* error) {
    for (const VoiceClip& clip : testVoice()) {
        QFile file(folder + QLatin1Char('/') + clip.stem + QStringLiteral(".wav"));
        if (!file.open(QIODevice::WriteOnly) || file.write(wavFile(clip)) < 0) {
            *error = QStringLiteral("cannot write ") + file.fileName();
            return false;
        }
    }
    return true;
}

bool encodeMp3s(const QString& folder, QString* error) {
    // A few encoders at a time.
    const QList<VoiceClip>& voice = testVoice();
    constexpr qsizetype Batch = 8;
    for (qsizetype first = 0; first < voice.size(); first += Batch) {
        std::vector<std::unique_ptr<QProcess>> encoders;
        for (qsizetype i = first; i < std::min(first + Batch, voice.size()); ++i) {
            const QString stem = folder + QLatin1Char('/') + voice[i].stem;
            auto& lame = encoders.emplace_back(std::make_unique<QProcess>());
            lame->setProcessChannelMode(QProcess::MergedChannels);
            lame->start(QStringLiteral("lame"),
                        {QStringLiteral("--quiet"), QStringLiteral("--cbr"), QStringLiteral("-b"),
                         QStringLiteral("64"), stem + QStringLiteral(".wav"), stem + QStringLiteral(".mp3")});
        }
        for (auto& lame : encoders) {
            if (!lame->waitForFinished(20000) || lame->exitStatus() != QProcess::NormalExit ||
                lame->exitCode() != 0) {
                *error = QStringLiteral("lame (Debian package lame) failed: ") + lame->errorString() +
                         QLatin1Char(' ') + QString::fromLocal8Bit(lame->readAll());
                return false;
            }
        }
    }
    return true;
}

} // namespace

const QList<VoiceClip>& testVoice() {
    static const QList<VoiceClip> voice = makeVoice();
    return voice;
}

void scaleTestVoice(double factor) {
    lengthFactor = factor;
}

bool writeTestVoice(const QString& folder, bool withMp3, QString* error) {
    // Made once per test process and copied from there: encoding is the slow part.
    static QTemporaryDir cache;
    static bool haveWav = false;
    static bool haveMp3 = false;
    if (!cache.isValid()) {
        *error = QStringLiteral("no temporary folder for the test voice");
        return false;
    }
    if (!haveWav && !(haveWav = writeWavs(cache.path(), error)))
        return false;
    if (withMp3 && !haveMp3 && !(haveMp3 = encodeMp3s(cache.path(), error)))
        return false;

    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make ") + folder;
        return false;
    }
    QStringList extensions = {QStringLiteral(".wav")};
    if (withMp3)
        extensions << QStringLiteral(".mp3");
    for (const VoiceClip& clip : testVoice()) {
        for (const QString& extension : extensions) {
            const QString name = QLatin1Char('/') + clip.stem + extension;
            if (!QFile::copy(cache.path() + name, folder + name)) {
                *error = QStringLiteral("cannot write ") + folder + name;
                return false;
            }
        }
    }
    return true;
}

QList<HeardClip> identifyClips(const QByteArray& audio) {
    const QList<VoiceClip>& voice = testVoice();
    std::vector<double> coefficients;
    for (const VoiceClip& clip : voice)
        coefficients.push_back(2.0 * std::cos(2.0 * std::numbers::pi * clip.frequency / RecordRate));

    // The dominant tone of each window, or -1 for silence and for windows with no clear tone
    // (those that straddle two clips).
    const qsizetype windows = audio.size() / 2 / WindowSamples;
    std::vector<int> labels(windows, -1);
    std::vector<double> x(WindowSamples);
    for (qsizetype w = 0; w < windows; ++w) {
        double energy = 0.0;
        for (int n = 0; n < WindowSamples; ++n) {
            x[n] = qFromLittleEndian<qint16>(audio.constData() + 2 * (w * WindowSamples + n)) / 32768.0;
            energy += x[n] * x[n];
        }
        if (energy / WindowSamples < 1e-4) // below -40 dBFS
            continue;
        int best = -1;
        double bestPower = 0.0;
        for (size_t k = 0; k < coefficients.size(); ++k) {
            double s1 = 0.0, s2 = 0.0;
            for (const double sample : x) {
                const double s0 = sample + coefficients[k] * s1 - s2;
                s2 = s1;
                s1 = s0;
            }
            const double power = s1 * s1 + s2 * s2 - coefficients[k] * s1 * s2;
            if (power > bestPower) {
                bestPower = power;
                best = int(k);
            }
        }
        // A pure tone over the whole window gives a ratio of 1.
        if (bestPower / (energy * WindowSamples / 2.0) >= 0.5)
            labels[w] = best;
    }

    struct Run {
        int label;
        qsizetype first, end; // windows
    };
    std::vector<Run> runs;
    for (qsizetype w = 0; w < windows;) {
        qsizetype end = w;
        while (end < windows && labels[end] == labels[w])
            ++end;
        if (labels[w] >= 0 && end - w >= MinimumWindows) {
            if (!runs.empty() && runs.back().label == labels[w])
                runs.back().end = end; // only a blip or an unclear window came between
            else
                runs.push_back({labels[w], w, end});
        }
        w = end;
    }

    QList<HeardClip> heard;
    for (const Run& run : runs) {
        const VoiceClip& clip = voice[run.label];
        const double seconds = double(run.end - run.first) * WindowSeconds;
        // The recording has no gaps between clips: a clip played twice in a row is one run.
        const long plays = std::max(1L, std::lround((seconds - ExtraSeconds) / clip.seconds));
        for (long p = 0; p < plays; ++p)
            heard.append({clip.stem, double(run.first) * WindowSeconds + double(p) * seconds / double(plays),
                          seconds / double(plays)});
    }
    return heard;
}

QStringList stemsOf(const QList<HeardClip>& heard) {
    QStringList stems;
    for (const HeardClip& clip : heard)
        stems << clip.stem;
    return stems;
}

QString describe(const QList<HeardClip>& heard) {
    if (heard.isEmpty())
        return QStringLiteral("(nothing)");
    QStringList parts;
    for (const HeardClip& clip : heard)
        parts << QStringLiteral("%1 @%2s (%3s)")
                     .arg(clip.stem)
                     .arg(clip.startSeconds, 0, 'f', 2)
                     .arg(clip.seconds, 0, 'f', 2);
    return parts.join(QStringLiteral(", "));
}

} // namespace e2e
