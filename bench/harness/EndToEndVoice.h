// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A voice made for listening by machine: every clip is a pure tone of its own pitch and its own
// length, so that a recording of what the program played tells which clips it played, in order.
namespace e2e {

struct VoiceClip {
    QString stem;
    double frequency; // Hz
    double seconds;
};

// Every clip the program may ask for, in a fixed order.
const QList<VoiceClip>& testVoice();

// Makes every clip `factor` times as long, for runs of many announcements; before any other use.
void scaleTestVoice(double factor);

// Writes <stem>.wav (mono, 16 bit, 44.1 kHz) for every clip into `folder`, and <stem>.mp3
// beside it when asked for (encoded by lame, constant bit rate).
bool writeTestVoice(const QString& folder, bool withMp3, QString* error);

// Mono signed 16-bit little-endian audio as the tests record it.
inline constexpr int RecordRate = 16000;
inline constexpr int RecordBytesPerSecond = RecordRate * 2;

struct HeardClip {
    QString stem;
    double startSeconds; // where it begins in the recording
    double seconds;      // how long it was heard; two plays in a row are two entries
};

// Finds the clips in a recording. Silence, noise and runs shorter than a clip could be (what
// is left of a clip that was started and at once replaced) are left out.
QList<HeardClip> identifyClips(const QByteArray& audio);

QStringList stemsOf(const QList<HeardClip>& heard);
QString describe(const QList<HeardClip>& heard);

} // namespace e2e
