#include "ClockScheduler.h"
#include "FakeClock.h"
#include "FakeLink.h"
#include "SchedulePanel.h"

#include <gtest/gtest.h>

namespace {

struct FakeSchedulePanel : SchedulePanel {
    bool Option1() const override { return twelveHour; }
    int OnHour() const override { return onHour; }
    int QuarterHour() const override { return quarterHour; }
    int HalfHour() const override { return halfHour; }
    void SetShowTheTime(const QString& text) override { shown = text; }
    void SetHH(const QString& text) override { hh = text; }
    void SetMM(const QString& text) override { mm = text; }
    void SetAM_PM(const QString& text) override { amPm = text; }

    bool twelveHour = false;
    int onHour = 0, quarterHour = 0, halfHour = 0;
    QString shown, hh, mm, amPm;
};

struct SchedulerHarness {
    int tickAt(QTime time) {
        clock.time.setTime(time);
        const int before = started;
        scheduler.Timer3_Timer();
        return started - before;
    }

    FakeClock clock;
    FakeSchedulePanel panel;
    FakeLink link;
    int started = 0;
    ClockScheduler scheduler{ClockScheduler::Parts{clock, panel, link, [this] {
                                                       ++started;
                                                   }}};
};

TEST(ClockScheduler, TheClockFieldsFollowTheTimeInTwelveOrTwentyFourHours) {
    struct Case {
        QTime time;
        bool twelveHour;
        const char *hh, *mm, *amPm;
    };
    const Case cases[] = {
        {QTime(14, 15), true, "02", "15", "PM"},     {QTime(14, 15), false, "14", "15", "PM"},
        {QTime(0, 5), true, "12", "05", "AM"},       {QTime(0, 5), false, "00", "05", "AM"},
        {QTime(12, 5), true, "12", "05", "PM"},      {QTime(12, 5), false, "12", "05", "PM"},
        {QTime(11, 59, 59), true, "11", "59", "AM"},
    };
    for (const Case& c : cases) {
        SchedulerHarness h;
        h.panel.twelveHour = c.twelveHour;
        h.tickAt(c.time);
        EXPECT_EQ(h.panel.hh, QLatin1String(c.hh)) << c.time.toString().toStdString();
        EXPECT_EQ(h.panel.mm, QLatin1String(c.mm));
        EXPECT_EQ(h.panel.amPm, QLatin1String(c.amPm));
        EXPECT_TRUE(h.panel.shown.startsWith(c.time.toString(QStringLiteral("HH:mm"))) ||
                    h.panel.shown.contains(c.time.toString(QStringLiteral("mm:ss"))))
            << h.panel.shown.toStdString();
    }
}

TEST(ClockScheduler, EachBoxEnablesItsOwnTimesAndOnlyWhenChecked) {
    struct Case {
        QTime time;
        int onHour, quarterHour, halfHour;
        int expected;
    };
    const Case cases[] = {
        {QTime(14, 15), 0, 1, 0, 1}, {QTime(14, 15), 0, 0, 1, 0}, {QTime(9, 45), 0, 1, 0, 1},
        {QTime(10, 30), 0, 0, 1, 1}, {QTime(10, 30), 0, 1, 0, 0}, {QTime(10, 15, 1), 1, 1, 1, 0},
        {QTime(11, 0), 1, 0, 0, 1},  {QTime(11, 0), 0, 1, 1, 0},  {QTime(11, 0), 2, 2, 2, 0},
        {QTime(14, 15), 2, 2, 2, 0}, {QTime(10, 30), 1, 1, 2, 0}, {QTime(23, 59, 59), 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SchedulerHarness h;
        h.panel.onHour = c.onHour;
        h.panel.quarterHour = c.quarterHour;
        h.panel.halfHour = c.halfHour;
        EXPECT_EQ(h.tickAt(c.time), c.expected)
            << c.time.toString().toStdString() << " " << c.onHour << c.quarterHour << c.halfHour;
    }
}

TEST(ClockScheduler, ABusyLinkHoldsTheTriggerBackAndNothingFollowsLater) {
    for (const std::optional<bool> busy : {std::optional<bool>(true), std::optional<bool>()}) {
        SchedulerHarness h;
        h.panel.quarterHour = 1;
        h.panel.twelveHour = true;
        h.link.busy = busy; // a read that fails counts as busy
        EXPECT_EQ(h.tickAt(QTime(9, 45)), 0);
        EXPECT_EQ(h.panel.hh, QStringLiteral("09")) << "the fields are still refreshed";
        EXPECT_EQ(h.panel.mm, QStringLiteral("45"));
        h.link.busy = false;
        EXPECT_EQ(h.tickAt(QTime(9, 45, 1)), 0) << "no catch-up";
    }
}

TEST(ClockScheduler, AClockSteppedBackDoesNotAnnounceTheSameTimeTwice) {
    SchedulerHarness h;
    h.panel.quarterHour = 1;
    EXPECT_EQ(h.tickAt(QTime(14, 15, 0, 5)), 1);
    h.clock.advanceMs(1000);
    EXPECT_EQ(h.tickAt(QTime(14, 14, 59, 5)), 0) << "stepped back a second";
    h.clock.advanceMs(1000);
    EXPECT_EQ(h.tickAt(QTime(14, 15, 0, 5)), 0) << "the same trigger, seconds later";
    h.clock.advanceMs(3600 * 1000);
    EXPECT_EQ(h.tickAt(QTime(14, 15, 0, 5)), 1) << "an hour later (summer time ending) it is a new trigger";
}

TEST(ClockScheduler, AClockSteppedIntoATriggerSecondAnnounces) {
    SchedulerHarness h;
    h.panel.halfHour = 1;
    EXPECT_EQ(h.tickAt(QTime(10, 28, 7)), 0);
    h.clock.advanceMs(1000);
    EXPECT_EQ(h.tickAt(QTime(10, 30, 0, 700)), 1);
}

TEST(ClockScheduler, TicksLandJustAfterEachSecondOfTheWallClock) {
    SchedulerHarness h;
    h.clock.time.setTime(QTime(10, 0, 0, 0));
    EXPECT_EQ(h.scheduler.MillisecondsToNextTick(), 1005);
    h.clock.time.setTime(QTime(10, 0, 0, 995));
    EXPECT_EQ(h.scheduler.MillisecondsToNextTick(), 10);
    h.clock.time.setTime(QTime(10, 0, 0, 300));
    EXPECT_EQ(h.scheduler.MillisecondsToNextTick(), 705);
}

} // namespace
