// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A clip that never ends holds the transmitter keyed until the transmit time-out, counted from
// the first key: keying again for the next clip does not restart it, and 0 means no limit.
TEST(Keying, TransmitTimeOutReleasesAClipThatNeverEnds) {
    const struct {
        const char* name;
        int timeoutSeconds;
        qint64 keyedMs; // from the first key, the next clip keyed again half-way
        bool released;
    } cases[] = {
        {"a moment before the limit", 180, 179'999, false},
        {"at the limit", 180, 180'000, true},
        {"no limit", 0, 48 * 3600'000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Station station({.txTimeoutSeconds = c.timeoutSeconds});
        station.window().hora_rf_Click();
        station.step(); // the first clip, keyed
        station.clock.advanceMs(c.keyedMs / 2);
        station.step(); // the next clip, keyed again
        station.window().Beacon8_Timer();
        ASSERT_TRUE(station.link->keyed);
        station.clock.advanceMs(c.keyedMs - c.keyedMs / 2);
        station.window().Timer1_Timer();
        station.window().Beacon8_Timer();
        EXPECT_EQ(station.link->keyed, !c.released);
        EXPECT_EQ(station.window().Timer2.isActive(), !c.released)
            << "the announcement ends with the release";
        if (c.released) {
            station.link->calls.clear();
            station.window().Beacon8_Timer();
            EXPECT_EQ(station.link->calls, QStringList{u"SetPtt 0"_s}) << "released again every second";
        }
    }
}

// The output plays a clip's last samples a little after the player has handed them over: the
// transmitter stays keyed until they have been heard. The indicator shows what the program last
// asked of the transmitter.
TEST(Keying, HeldUntilTheLastClipHasBeenHeard) {
    Station station;
    EXPECT_EQ(station.ui().PTT->text(), u"PTT OFF"_s);
    station.window().hora_rf_Click();
    for (int tick = 0; tick < 40 && station.window().Timer2.isActive(); ++tick)
        station.step();
    const auto last = station.fakes.current();
    ASSERT_TRUE(last && last->running);
    last->position = last->duration;
    last->sounding = true;
    station.window().Timer1_Timer();
    station.window().Beacon8_Timer();
    EXPECT_TRUE(station.link->keyed);
    EXPECT_EQ(station.ui().PTT->text(), u"PTT ON"_s);
    last->sounding = false;
    station.window().Beacon8_Timer();
    EXPECT_FALSE(station.link->keyed);
    EXPECT_EQ(station.ui().PTT->text(), u"PTT OFF"_s);
}

} // namespace
