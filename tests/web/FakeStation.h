// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StationModel.h"

// The station page's test double: fixed values, and every change the page asks for recorded in
// order.
class FakeStation : public StationModel {
public:
    StationStatus status() const override { return current; }
    QList<AnnouncementRecord> announcements() const override { return records; }
    QList<LogLine> logLines() const override { return lines; }
    StationSettings settings() const override { return stored; }
    StationCounters counters() const override { return counted; }
    bool applySettings(const QMap<QString, QString>& values, QString* error, bool* saveFailed) override {
        calls << QStringLiteral("applySettings");
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (!stored.values.contains(it.key())) {
                *error = it.key() + QStringLiteral(" is not a setting");
                *saveFailed = false;
                return false;
            }
        }
        stored.values.insert(values);
        return true;
    }
    void announce() override { calls << QStringLiteral("announce"); }
    void release() override { calls << QStringLiteral("release"); }
    void setVolume(int value) override {
        calls << QStringLiteral("volume %1").arg(value);
        current.volume = value;
    }
    void setSpeed(int value) override {
        calls << QStringLiteral("speed %1").arg(value);
        current.speed = value;
    }

    StationStatus current;
    QList<AnnouncementRecord> records;
    QList<LogLine> lines;
    StationSettings stored{{{QStringLiteral("DTMFTIME"), QStringLiteral("123")}}, {}};
    StationCounters counted;
    QStringList calls;
};
