// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A week of quarter hours in simulated time, with a busy link now and then, DTMF requests
// between them and the chain switched once a day: every free quarter is announced exactly once,
// in full, and the transmitter is released after each announcement.
TEST(Soak, AWeekOfQuarterHours) {
    Station station({.settings = {u"ONHOUR=1"_s, u"HALFHOUR=1"_s}});
    QRandomGenerator random(20260323);
    const QDateTime monday(QDate(2026, 3, 23), QTime(0, 0));
    int free = 0, announced = 0;
    for (int quarter = 0; quarter < 7 * 96; ++quarter) {
        const auto setClock = [&](int seconds) {
            station.clock.time = monday.addSecs(quarter * 900 + seconds);
            station.clock.monotonic = (quarter * 900 + seconds) * 1000LL;
        };
        setClock(0);
        if (quarter % 96 == 40)
            station.ui().Check1->setChecked(!station.ui().Check1->isChecked());
        const qsizetype length = station.ui().Check1->isChecked() ? 7 : 5;
        station.link->busy = random.bounded(10) == 0;
        free += !*station.link->busy;
        station.window().Timer3_Timer();
        if (station.announcing()) {
            ++announced;
            EXPECT_EQ(station.playOut().size(), length) << station.clock.time.toString().toStdString();
            EXPECT_FALSE(station.link->keyed);
        }
        setClock(1); // the next second is no trigger
        station.window().Timer3_Timer();
        EXPECT_FALSE(station.announcing());
        if (random.bounded(8) == 0) {
            setClock(60);
            station.link->sendDtmf(u"123"_s);
            EXPECT_GE(station.playOut().size(), length - 1);
            EXPECT_FALSE(station.link->keyed);
        }
    }
    EXPECT_EQ(announced, free);
}

} // namespace
