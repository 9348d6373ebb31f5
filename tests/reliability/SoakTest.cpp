// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A week of simulated time, the clock timer started each time with the interval the scheduler
// asks for and a little late, as an event loop runs it; a busy link now and then, DTMF requests
// between the marks and the chain switched once a day: the clock shows every second once,
// every free quarter is announced exactly once, in its own second and in full, and the
// transmitter is released after each announcement.
TEST(Soak, AWeekOfQuarterHours) {
    Station station({.settings = {u"ONHOUR=1"_s, u"HALFHOUR=1"_s}});
    QRandomGenerator random(20260323);
    const QDateTime monday(QDate(2026, 3, 23), QTime(0, 0), Qt::UTC);
    const QDateTime end = monday.addDays(7);
    station.clock.time = monday.addMSecs(-3000 + random.bounded(1000));
    station.window().Timer3_Timer();
    int free = 0, announced = 0, lastQuarter = -1;
    bool busyQuarter = false;
    while (station.clock.time < end) {
        const QDateTime shown = station.clock.time;
        station.clock.advanceMs(station.window().Timer3.interval() + random.bounded(20));
        const QDateTime& now = station.clock.time;
        ASSERT_EQ(now.toSecsSinceEpoch(), shown.toSecsSinceEpoch() + 1)
            << "after " << shown.toString().toStdString();

        const int quarter = int(monday.secsTo(now) / 900);
        const int intoQuarter = int(monday.secsTo(now) % 900);
        if (quarter != lastQuarter) {
            lastQuarter = quarter;
            busyQuarter = random.bounded(10) == 0;
            free += !busyQuarter;
            if (quarter % 96 == 40)
                station.ui().Check1->setChecked(!station.ui().Check1->isChecked());
        }
        station.link->busy = busyQuarter && intoQuarter < 5;
        station.window().Timer3_Timer();
        const qsizetype length = station.ui().Check1->isChecked() ? 7 : 5;
        if (station.announcing()) {
            ++announced;
            EXPECT_EQ(intoQuarter, 0) << now.toString().toStdString();
            EXPECT_EQ(station.playOut().size(), length) << now.toString().toStdString();
            EXPECT_FALSE(station.link->keyed);
        }
        if (intoQuarter == 60 && random.bounded(8) == 0) {
            station.link->sendDtmf(u"123"_s);
            EXPECT_GE(station.playOut().size(), length - 1);
            EXPECT_FALSE(station.link->keyed);
        }
    }
    EXPECT_EQ(announced, free);
}

} // namespace
