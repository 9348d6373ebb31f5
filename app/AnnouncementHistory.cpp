// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnnouncementHistory.h"

void AnnouncementHistory::begin(const QString& cause, const QDateTime& now) {
    end(QStringLiteral("stopped"), {}, now);
    open_ = AnnouncementRecord{now, cause, {}, {}, {}, 0};
    Q_EMIT changed();
}

void AnnouncementHistory::clipHeard(const QString& fileName) {
    if (!open_)
        return;
    open_->clips.append(fileName);
    Q_EMIT changed();
}

void AnnouncementHistory::end(const QString& outcome, const QString& reason, const QDateTime& now) {
    if (!open_)
        return;
    AnnouncementRecord record = *open_;
    open_.reset();
    record.outcome = outcome;
    record.reason = reason;
    record.seconds = std::max<qint64>(0, record.at.msecsTo(now)) / 1000.0;
    // Whatever its outcome, an announcement of which a clip was heard went out.
    if (!record.clips.isEmpty())
        counters_.lastHeard = now;
    close(record);
}

void AnnouncementHistory::skipped(const QString& cause, const QDateTime& now) {
    close(AnnouncementRecord{now, cause, {}, QStringLiteral("skipped-busy"), {}, 0});
}

void AnnouncementHistory::close(AnnouncementRecord record) {
    ++counters_.announcements[{record.cause, record.outcome}];
    records_.prepend(record);
    if (records_.size() > Kept)
        records_.removeLast();
    Q_EMIT ended(record);
    Q_EMIT changed();
}

void AnnouncementHistory::transmitter(bool keyed, const QDateTime& now) {
    if (keyed == keyedSince_.has_value())
        return;
    if (keyed) {
        keyedSince_ = now;
    } else {
        counters_.keyedSeconds += std::max<qint64>(0, keyedSince_->msecsTo(now)) / 1000.0;
        keyedSince_.reset();
    }
    changed_ = now;
    Q_EMIT changed();
}

StationCounters AnnouncementHistory::counters(const QDateTime& now) const {
    StationCounters result = counters_;
    // The seconds of a transmission still under way count as they pass.
    if (keyedSince_)
        result.keyedSeconds += std::max<qint64>(0, keyedSince_->msecsTo(now)) / 1000.0;
    return result;
}
