#include "StationSim.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Every clock tick formats its time text with a pattern compiled afresh and used once;
// compiling each to machine code as well would take three quarters of the soak's time.
const bool RegexpJitOff = qputenv("QT_ENABLE_REGEXP_JIT", "0");

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Hour = 60 * Minute;

// TEMPOVOX_SOAK_SEED explores other weeks; the default is the week the suite always runs.
quint32 Seed() {
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("TEMPOVOX_SOAK_SEED").toUInt(&ok);
    return ok ? seed : 20260323u;
}

void ReportFailures(const SoakReport& report) {
    for (const QString& failure : report.failures.mid(0, 25))
        ADD_FAILURE() << failure.toStdString();
    if (report.failures.size() > 25)
        ADD_FAILURE() << "and " << report.failures.size() - 25 << " more";
}

QStringList Trace(const RunLog& log) {
    QStringList trace;
    for (const StartRecord& start : log.starts)
        trace << QStringLiteral("start %1 %2").arg(start.atMs).arg(start.dtmf);
    for (const HeardClip& clip : log.heard)
        trace << QStringLiteral("clip %1 %2 %3").arg(clip.stem).arg(clip.startedMs).arg(clip.endedMs);
    for (const KeyedSpan& span : log.keyed)
        trace << QStringLiteral("keyed %1 %2").arg(span.fromMs).arg(span.toMs);
    return trace;
}

TEST(StationSoak, AWeekOfClockTimeAnnouncesEveryFreeQuarterHourOnceAndAlwaysReleases) {
    const Scenario scenario = MakeScenario(Seed(), 7);
    QElapsedTimer elapsed;
    elapsed.start();
    const RunLog log = RunStation(scenario);
    const qint64 runMs = elapsed.elapsed();
    const SoakReport report = CheckRun(scenario, log);
    std::printf("%s\n", qPrintable(SummaryLine(scenario, report, log, runMs)));
    std::fflush(stdout);

    ReportFailures(report);
    EXPECT_EQ(report.triggersMissed, 0);
    EXPECT_EQ(report.triggersDoubled, 0);
    EXPECT_EQ(report.triggersUnexpected, 0);
    EXPECT_GE(report.closestScheduledStartsMs, Minute);
    EXPECT_EQ(report.releasedLate, 0);
    EXPECT_LE(report.worstReleaseMs, 1500);

    // The expectations themselves: Monday 00:00 to the next Monday 00:00 is 673 quarter-hours,
    // the hour skipped on Sunday takes four, the hour repeated on Wednesday gives four back.
    EXPECT_EQ(report.triggersExpected + report.quarterHoursBusy, 7 * 96 + 1);
    EXPECT_EQ(report.quarterHoursSkipped, 4);
    EXPECT_EQ(report.quarterHoursRepeated, 4);
    // The week reached what it is there for.
    EXPECT_GT(report.quarterHoursBusy, 0);
    EXPECT_GT(report.restarted, 0) << "no request ran over an announcement";
    EXPECT_GT(report.dtmfRequests, report.dtmfRightCode) << "no request with a wrong code";
    EXPECT_GT(report.fullChains, report.triggersExpected / 2);
}

TEST(StationSoak, TheChecksNoticeMissedDoubledUnreleasedAndStalledAnnouncements) {
    // Midnight to 02:45: twelve quarter-hours, nothing else happening.
    const Scenario quiet = QuietScenario(3 * Hour + Minute);
    const SoakReport clean = CheckRun(quiet, RunStation(quiet));
    ReportFailures(clean);
    EXPECT_EQ(clean.triggersExpected, 12);
    EXPECT_EQ(clean.triggersStarted, 12);
    EXPECT_EQ(clean.fullChains, 12);
    EXPECT_GE(clean.worstReleaseMs, 0);

    RunOptions sabotage;
    sabotage.dropTrigger = 2;
    sabotage.doubleTrigger = 5;
    sabotage.deafWatchdogFromMs = 2 * Hour + 30 * Minute;
    const SoakReport broken = CheckRun(quiet, RunStation(quiet, sabotage));
    EXPECT_EQ(broken.triggersMissed, 1);
    EXPECT_EQ(broken.triggersDoubled, 1);
    EXPECT_EQ(broken.restarted, 1) << "the doubled start runs over the first";
    const QString all = broken.failures.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("two scheduled starts"))) << all.toStdString();
    EXPECT_EQ(broken.releasedLate, 2);
    EXPECT_EQ(broken.failures.filter(QStringLiteral("still keyed")).size(), 3) << all.toStdString();

    // A chain that stops half-way keeps the transmitter keyed until the transmit time-out.
    RunOptions stall;
    stall.deafSequencerFromMs = 2 * Hour + 30 * Minute;
    const SoakReport stalled = CheckRun(quiet, RunStation(quiet, stall));
    EXPECT_EQ(stalled.failures.filter(QStringLiteral("never played its final clip")).size(), 2);
    EXPECT_EQ(stalled.failures.filter(QStringLiteral("keyed for")).size(), 2);
    EXPECT_GE(stalled.longestKeyedSinceStartMs, 180 * 1000);
    EXPECT_LE(stalled.longestKeyedSinceStartMs, 181 * 1000);
}

TEST(StationSoak, ASeedGivesTheSameRunWithOrWithoutTheTicksWhileAClipPlays) {
    RunOptions everyTick;
    everyTick.everyTick = true;
    const QStringList exact = Trace(RunStation(MakeScenario(Seed() + 1, 1), everyTick));
    EXPECT_GT(exact.size(), 500);
    EXPECT_EQ(Trace(RunStation(MakeScenario(Seed() + 1, 1))), exact);
    EXPECT_NE(Trace(RunStation(MakeScenario(Seed() + 2, 1))), exact);
}

} // namespace
