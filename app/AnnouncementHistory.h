// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StationModel.h"

#include <QObject>

#include <optional>

// What became of each announcement, the last 100 of them, and the counters since start. The
// window tells it when an announcement begins, which clips are heard and how it ends.
class AnnouncementHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int Kept = 100;

    // An announcement starts; one still open ends as "stopped", run over by this one.
    void begin(const QString& cause, const QDateTime& now);
    void clipHeard(const QString& fileName);
    // The open announcement ends; nothing happens when none is open.
    void end(const QString& outcome, const QString& reason, const QDateTime& now);
    // A mark that did not go out because the link was busy.
    void skipped(const QString& cause, const QDateTime& now);
    void transmitter(bool keyed, const QDateTime& now);
    void outputFailed() { ++counters_.outputFailures; }

    const std::optional<AnnouncementRecord>& running() const { return open_; }
    const QList<AnnouncementRecord>& records() const { return records_; } // newest first
    StationCounters counters(const QDateTime& now) const;
    bool keyed() const { return keyedSince_.has_value(); }
    QDateTime transmitterSince() const { return changed_; }

Q_SIGNALS:
    void ended(const AnnouncementRecord& record);
    void changed(); // begun, a clip, ended, the transmitter

private:
    void close(AnnouncementRecord record);

    std::optional<AnnouncementRecord> open_;
    QList<AnnouncementRecord> records_;
    StationCounters counters_;
    std::optional<QDateTime> keyedSince_;
    QDateTime changed_;
};
