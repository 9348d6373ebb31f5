// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class Clock;
class Link;
class SchedulePanel;

// Once a second: shows the time, keeps the clock fields the composer names clips from, and
// starts an announcement on the full hour, the quarters or the half hour as the window asks,
// unless the link is busy. A trigger that is held back or missed is not repeated.
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

private:
    bool MarkDue(const QDateTime& at) const;
    // Starts the announcement unless this trigger already ran less than a minute ago: a wall
    // clock stepped back into the same second must not announce twice.
    void Trigger(const QDateTime& at);

    Parts p_;
    std::optional<QDateTime> lastTrigger_; // the minute of the last trigger, wall clock
    qint64 lastTriggerMs_ = 0;             // when it ran, monotonic clock
};
