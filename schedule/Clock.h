// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QElapsedTimer>

// The local wall clock, and a monotonic clock that steps and time-zone changes never move.
// Tests replace both with one they can set and advance.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock : public Clock {
public:
    SystemClock() { started_.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override { return started_.elapsed(); }

private:
    QElapsedTimer started_;
};
