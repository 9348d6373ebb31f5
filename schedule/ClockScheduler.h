// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

#include <QtGlobal>

#include <functional>
#include <optional>

class Clock;
class Link;
class SchedulePanel;

// Once a second: shows the time, keeps the clock fields the composer names clips from, and
// starts an announcement on the full hour, the quarters or the half hour as the window asks,
// unless the link is busy. A tick looks at every mark passed since the one before, so a late
// tick or a wall clock stepped forward still announces a mark, once, if it is fresh enough.
class ClockScheduler {
public:
    struct Parts {
        const Clock& clock;
        SchedulePanel& panel;
        Link& link;
        std::function<void()> sayAudioTime;
        std::function<void()> skippedBusy = {}; // a mark held back because the link was busy
    };

    explicit ClockScheduler(Parts parts)
        : p_(std::move(parts)) {}

    void Timer3_Timer();

    // Shows the time and refreshes the clock fields, without looking at the triggers. Start-up
    // runs it once, so that a request in the first second names real hour and minute clips.
    QDateTime ShowTime();

    // Milliseconds from now until just after the next second of the wall clock: the tick
    // lands early in each second, so a late event loop neither skips a second nor sees one
    // twice.
    int MillisecondsToNextTick() const;

    // The time as the window shows it, in the locale's long time format without a zone.
    static QString TimeText(const QTime& time);

    // A mark older than this when a tick first sees it is not announced late.
    static constexpr qint64 MaxLateMs = 30'000;

private:
    bool MarkEnabled(int minute) const;

    Parts p_;
    std::optional<qint64> lastLookedMs_; // wall clock, ms since the epoch
    std::optional<qint64> lastMarkMs_;   // the latest mark announced or passed by
};
