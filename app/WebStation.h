// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StationModel.h"

#include <QTimer>

class Form1;
class LogRing;

// The station page's view of the main window: what the page shows is read from the window's
// controls, its history and its link; what the page changes goes through the window's own
// paths, so that the page and the window cannot disagree.
class WebStation : public StationModel {
    Q_OBJECT
public:
    struct Info {
        QString version;
        QString language; // "pt", "en" or "es"
        bool headless = false;
        QString backend; // the [LINK] back-end
    };

    WebStation(Form1& window, LogRing& log, Info info);

    StationStatus status() const override;
    QList<AnnouncementRecord> announcements() const override;
    QList<LogLine> logLines() const override;
    StationSettings settings() const override;
    StationCounters counters() const override;
    bool applySettings(const QMap<QString, QString>& values, QString* error, bool* saveFailed) override;
    void announce() override;
    void release() override;
    void setVolume(int hundredthsOfDb) override;
    void setSpeed(int percent) override;

    // The next enabled mark after `now`, and the clips it will say as the window stands.
    std::optional<StationStatus::Next> nextMark(const QDateTime& now) const;

private:
    std::optional<bool> linkBusy() const;

    Form1& window_;
    LogRing& log_;
    Info info_;
    QDateTime started_;
    QTimer settingsChanged_; // many controls change in one go; the page hears of it once
    mutable std::optional<bool> busy_;
    mutable qint64 busyReadMs_ = -1;
};
