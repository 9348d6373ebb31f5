#pragma once

#include "Clock.h"

// A wall clock that stands still until the test sets or advances it. Advancing moves the
// monotonic clock too; setting the wall clock alone is a clock step.
class FakeClock : public Clock {
public:
    QDateTime now() const override { return time; }
    qint64 monotonicMs() const override { return monotonic; }
    void advanceMs(qint64 ms) {
        time = time.addMSecs(ms);
        monotonic += ms;
    }

    QDateTime time = QDateTime(QDate(2026, 1, 5), QTime(14, 15, 0));
    qint64 monotonic = 0;
};
