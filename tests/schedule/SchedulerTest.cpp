// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogCapture.h"
#include "Station.h"

#include <QTimeZone>

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

// Clock readings, one a tick, and the readings at which an announcement started. A reading is
// "hh:mm:ss.zzz" on a winter day in Lisbon, or a full ISO time with its offset; "busy " before it
// means the link is busy at that tick.
TEST(Scheduler, EveryMarkPassedIsAnnouncedOnce) {
    const QTimeZone lisbon("Europe/Lisbon");
    const auto reading = [&](QString text) {
        text.remove(u"busy "_s);
        const QDateTime at =
            text.size() <= 12
                ? QDateTime(QDate(2026, 1, 5), QTime::fromString(text, u"hh:mm:ss.zzz"_s), lisbon)
                : QDateTime::fromString(text, Qt::ISODateWithMs).toTimeZone(lisbon);
        EXPECT_TRUE(at.isValid()) << text.toStdString();
        return at;
    };
    struct Case {
        const char* name;
        QStringList readings;
        QStringList announcedAt;
        int logLines = 0; // marks passed without an announcement, a line each tick
    } const cases[] = {
        {"regular ticks", {u"10:59:59.005"_s, u"11:00:00.005"_s, u"11:00:01.005"_s}, {u"11:00:00.005"_s}},
        {"jittery ticks miss the mark's second",
         {u"10:59:58.900"_s, u"10:59:59.950"_s, u"11:00:01.010"_s, u"11:00:01.990"_s},
         {u"11:00:01.010"_s}},
        {"stepped 2 s forward over the mark",
         {u"10:59:55.005"_s, u"10:59:59.005"_s, u"11:00:01.005"_s, u"11:00:02.005"_s},
         {u"11:00:01.005"_s}},
        {"stepped 40 s forward over the mark", {u"10:59:30.005"_s, u"11:00:10.005"_s}, {u"11:00:10.005"_s}},
        {"stepped to 40 s past the mark", {u"10:59:59.005"_s, u"11:00:40.005"_s}, {}, 1},
        {"held 3 s at the mark",
         {u"10:59:59.005"_s, u"11:00:03.200"_s, u"11:00:04.005"_s},
         {u"11:00:03.200"_s}},
        {"stepped 2 h forward: the marks between are skipped, the next one announced",
         {u"10:59:59.005"_s, u"12:59:59.005"_s, u"13:00:00.005"_s},
         {u"13:00:00.005"_s},
         1},
        {"stepped back over a mark announced",
         {u"11:00:00.005"_s, u"11:00:01.005"_s, u"10:59:58.005"_s, u"10:59:59.005"_s, u"11:00:00.005"_s,
          u"11:00:01.005"_s},
         {u"11:00:00.005"_s}},
        {"stepped back into the same second", {u"11:30:00.005"_s, u"11:30:00.002"_s}, {u"11:30:00.005"_s}},
        {"stepped back two days: the marks come again",
         {u"11:00:00.005"_s, u"2026-01-03T10:59:59.005Z"_s, u"2026-01-03T11:00:00.005Z"_s},
         {u"11:00:00.005"_s, u"2026-01-03T11:00:00.005Z"_s}},
        {"a day later",
         {u"11:00:00.005"_s, u"2026-01-06T11:00:00.005Z"_s},
         {u"11:00:00.005"_s, u"2026-01-06T11:00:00.005Z"_s},
         1},
        {"busy at the mark: skipped, and not later",
         {u"10:59:59.005"_s, u"busy 11:00:00.005"_s, u"11:00:01.005"_s},
         {},
         1},
        {"summer time begins",
         {u"2026-03-29T00:59:59.005+00:00"_s, u"2026-03-29T02:00:00.005+01:00"_s,
          u"2026-03-29T02:00:01.005+01:00"_s},
         {u"2026-03-29T02:00:00.005+01:00"_s}},
        {"summer time ends: the hour repeated is announced again",
         {u"2026-10-25T00:59:59.005+01:00"_s, u"2026-10-25T01:00:00.005+01:00"_s,
          u"2026-10-25T01:59:59.005+01:00"_s, u"2026-10-25T01:00:00.005+00:00"_s},
         {u"2026-10-25T01:00:00.005+01:00"_s, u"2026-10-25T01:00:00.005+00:00"_s},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station station({.settings = {u"ONHOUR=1"_s, u"HALFHOUR=1"_s}});
        QList<QDateTime> announced, expected;
        qsizetype logLines = 0;
        {
            const LogCapture log("tempovox.schedule");
            for (const QString& text : c.readings) {
                station.clock.time = reading(text);
                station.clock.monotonic += 1000;
                station.link->busy = text.startsWith(u"busy "_s);
                station.window().Timer3_Timer();
                if (station.announcing()) {
                    announced << station.clock.time;
                    station.playOut();
                }
            }
            logLines = log.lines().size();
        }
        for (const QString& text : c.announcedAt)
            expected << reading(text);
        EXPECT_EQ(announced, expected);
        EXPECT_EQ(logLines, c.logLines);
    }
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
