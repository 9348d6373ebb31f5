#pragma once

#include "SimGraph.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// The station's wall clock as a function of the monotonic clock: it runs with it and steps
// by whole hours where summer time begins or ends. Readings are carried in UTC QDateTimes so
// that the host's own time zone never adds steps of its own.
struct WallClock {
    struct Step {
        qint64 atMs; // monotonic
        qint64 byMs; // +1 h: an hour is skipped, -1 h: an hour is repeated
    };

    qint64 wallMs(qint64 monoMs) const;
    QDateTime at(qint64 monoMs) const { return QDateTime::fromMSecsSinceEpoch(wallMs(monoMs), Qt::UTC); }

    qint64 startMs = 0; // the reading at monotonic 0, milliseconds since the epoch
    std::vector<Step> steps;
};

// What happens around the station during one run, drawn from a seed.
struct Scenario {
    struct Dtmf {
        qint64 atMs;
        QString sequence;
    };
    struct Busy {
        qint64 fromMs, toMs; // [from, to), monotonic
    };

    bool longChainAt(qint64 monoMs) const;

    quint32 seed = 0;
    qint64 lengthMs = 0;
    WallClock wall;
    QString dtmfCode = QStringLiteral("123");
    std::vector<Busy> busy;            // in order, apart
    std::vector<Dtmf> dtmf;            // in order
    std::vector<qint64> chainSwitches; // the operator toggles "Hr / Min", in order
    bool longChainAtStart = true;
};

// `days` of clock time from Sunday 2026-03-22 23:59 (a minute before Monday), with a few busy
// periods and DTMF requests a day (many aimed into announcements), one chain switch a day,
// and the wall clock falling back an hour on Wednesday 02:00 and springing forward on Sunday
// 01:00. Busy periods begin and end between seconds 5 and 55 of a minute, so no quarter-hour
// is half busy.
Scenario MakeScenario(quint32 seed, int days);

// The same run with nothing around it: no busy link, no DTMF, no switch, no clock step.
Scenario QuietScenario(qint64 lengthMs);

struct StartRecord {
    qint64 atMs;
    bool dtmf;
};

struct KeyedSpan {
    qint64 fromMs;
    qint64 toMs; // -1: still keyed when the run ended
};

// What the run did, as seen from outside the program.
struct RunLog {
    std::vector<StartRecord> starts;
    std::vector<HeardClip> heard;
    std::vector<KeyedSpan> keyed;
    QStringList loadFailures;
    qint64 events = 0;
};

struct RunOptions {
    // Tick the sequencer every millisecond even while a clip plays. Those ticks only show a
    // position short of the end, which nothing acts on, so by default the run skips them.
    bool everyTick = false;

    // Breaking the wiring on purpose, to show that the checks notice.
    int dropTrigger = -1;            // this scheduler trigger (0-based) starts nothing
    int doubleTrigger = -1;          // this one starts twice
    qint64 deafWatchdogFromMs = -1;  // from then on the watchdog never ticks
    qint64 deafSequencerFromMs = -1; // from then on the sequencer never ticks
};

// Runs the program's scheduler, composer, sequencer, announcer and watchdog over the
// scenario in simulated time, their timers ticking as the main window's do.
RunLog RunStation(const Scenario& scenario, const RunOptions& options = {});

struct SoakReport {
    int announcements = 0, scheduledStarts = 0, dtmfStarts = 0;
    int dtmfRequests = 0, dtmfRightCode = 0;
    int triggersExpected = 0, triggersStarted = 0, triggersMissed = 0, triggersDoubled = 0;
    int triggersUnexpected = 0; // outside every free quarter-hour
    int quarterHoursBusy = 0, quarterHoursSkipped = 0, quarterHoursRepeated = 0;
    int busyPeriods = 0;
    int fullChains = 0, restarted = 0, chainSwitched = 0;
    qint64 closestScheduledStartsMs = -1;
    int releasedLate = 0; // announcements whose end left the transmitter keyed too long
    qint64 worstReleaseMs = -1;
    qint64 longestAnnouncementMs = 0;
    qint64 longestKeyedSinceStartMs = 0;
    QStringList failures; // each one broken rule, with when
};

// Judges a run against the scenario alone: the quarter-hours that were due, the chains that
// must have been heard, the transmitter's release.
SoakReport CheckRun(const Scenario& scenario, const RunLog& log);

// One line for the test log.
QString SummaryLine(const Scenario& scenario, const SoakReport& report, const RunLog& log, qint64 runMs);
