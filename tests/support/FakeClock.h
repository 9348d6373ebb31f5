#pragma once

#include "Clock.h"

// A wall clock that stands still until the test sets or advances it.
class FakeClock : public Clock {
public:
    QDateTime now() const override { return time; }
    void advance(int seconds) { time = time.addSecs(seconds); }

    QDateTime time = QDateTime(QDate(2026, 1, 5), QTime(14, 15, 0));
};
