// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Whether one tick of the clock at a time starts an announcement, for the boxes and the link.
TEST(Scheduler, AnnouncesAtTheChosenTimesUnlessTheLinkIsBusy) {
    const std::optional<bool> free = false, busy = true, unreadable = std::nullopt;
    struct Case {
        const char* name;
        QTime time;
        QStringList settings;
        std::optional<bool> linkBusy;
        bool starts;
    } const cases[] = {
        {"quarter past, on by default", {14, 15}, {}, free, true},
        {"quarter to", {14, 45}, {}, free, true},
        {"a second late", {14, 15, 1}, {}, free, false},
        {"quarters off", {14, 15}, {u"QUARTERHOUR=0"_s}, free, false},
        {"full hour, off by default", {15, 0}, {}, free, false},
        {"full hour", {15, 0}, {u"ONHOUR=1"_s}, free, true},
        {"half hour", {15, 30}, {u"HALFHOUR=1"_s}, free, true},
        {"half hour, box greyed", {15, 30}, {u"HALFHOUR=2"_s}, free, false},
        {"link busy", {14, 15}, {}, busy, false},
        {"busy state unreadable", {14, 15}, {}, unreadable, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station station({.settings = c.settings});
        station.link->busy = c.linkBusy;
        station.tickAt(c.time);
        EXPECT_EQ(station.announcing(), c.starts);
    }
}

// A wall clock stepped back into the same second announces once; a day later it announces again.
TEST(Scheduler, ATriggerRunsOncePerMinute) {
    Station station;
    station.tickAt({14, 15});
    station.playOut();
    station.tickAt({14, 15});
    EXPECT_FALSE(station.announcing());
    station.clock.advanceMs(24 * 3600 * 1000);
    station.tickAt({14, 15});
    EXPECT_TRUE(station.announcing());
}

// The clock fields that name the hour and AM/PM clips.
TEST(Scheduler, ClockFieldsInBothForms) {
    const struct {
        QTime time;
        bool twelveHour;
        const char *hh, *amPm;
    } cases[] = {{{0, 5, 30}, true, "12", "AM"},  {{11, 59, 30}, true, "11", "AM"},
                 {{12, 0, 30}, true, "12", "PM"}, {{13, 5, 30}, true, "01", "PM"},
                 {{0, 5, 30}, false, "00", "AM"}, {{13, 5, 30}, false, "13", "PM"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time.toString().toStdString() + (c.twelveHour ? " 12h" : " 24h"));
        Station station({.settings = {c.twelveHour ? u"OPTION1=True"_s : u"OPTION1=False"_s,
                                      c.twelveHour ? u"OPTION2=False"_s : u"OPTION2=True"_s}});
        station.tickAt(c.time);
        EXPECT_EQ(station.ui().HH->text(), QLatin1String(c.hh));
        EXPECT_EQ(station.ui().AM_PM->text(), QLatin1String(c.amPm));
    }
}

} // namespace
