#include "StationSim.h"

#include "Announcer.h"
#include "ClipPlayer.h"
#include "ClockScheduler.h"
#include "Composer.h"
#include "FakeClock.h"
#include "FakeLink.h"
#include "FakePanel.h"
#include "SchedulePanel.h"
#include "Sequencer.h"
#include "TransmitKeying.h"
#include "VoiceLibrary.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <random>

namespace {

constexpr qint64 Never = std::numeric_limits<qint64>::max();
constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;
constexpr qint64 Quarter = 15 * Minute;

// After the last clip the watchdog has this long to release the transmitter: its own second
// plus the progress refresh, with room to spare.
constexpr qint64 ReleaseLimitMs = 1500;
constexpr qint64 KeyedSlackMs = 2000;
// A chain that neither ends nor is started again within this time has stalled.
constexpr qint64 StallLimitMs = Minute;

const QDateTime RunStart(QDate(2026, 3, 22), QTime(23, 59), Qt::UTC);

// mt19937's output is fixed by the standard; the standard distributions are not, so draws
// are made from the raw output to keep a seed's scenario the same everywhere.
class Rng {
public:
    explicit Rng(quint32 seed)
        : engine_(seed) {}
    qint64 below(qint64 n) {
        const quint64 high = engine_();
        const quint64 low = engine_();
        return static_cast<qint64>(((high << 32) | low) % static_cast<quint64>(n));
    }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::mt19937 engine_;
};

qint64 WallOf(QDate date, QTime time) {
    return QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
}

// The main window as plain values, for the composer, the sequencer and the scheduler alike.
struct SoakPanel : FakePanel, SchedulePanel {
    explicit SoakPanel(const FakeClock& clock)
        : clock_(clock) {}

    bool Option1() const override { return false; }
    int OnHour() const override { return 1; }
    int QuarterHour() const override { return 1; }
    int HalfHour() const override { return 1; }
    void SetShowTheTime(const QString& text) override { shownTime = text; }
    void SetHH(const QString& text) override { hh = text; }
    void SetMM(const QString& text) override { mm = text; }
    void SetAM_PM(const QString& text) override { amPm = text; }

    int LocalHour() const override { return clock_.now().time().hour(); }
    void SetTimer2Enabled(bool enabled) override {
        timer2 = enabled;
        onTimer2(enabled);
    }
    // What a progress refresh writes; counted so that a refresh with nothing new can be skipped.
    void SetText1(const QString& text) override {
        FakePanel::SetText1(text);
        ++progressWrites;
    }
    void SetText2(const QString& text) override {
        FakePanel::SetText2(text);
        ++progressWrites;
    }
    void SetH1Value(int seconds) override {
        FakePanel::SetH1Value(seconds);
        ++progressWrites;
    }

    std::function<void(bool)> onTimer2;
    QString shownTime;
    quint64 progressWrites = 0;

private:
    const FakeClock& clock_;
};

// The program's parts wired as the main window wires them, over doubles, in simulated time.
class Station : public SimTime {
public:
    Station(const Scenario& scenario, const RunOptions& options)
        : scenario_(scenario)
        , options_(options)
        , costs_(scenario.seed ^ 0x9e3779b9u) {
        panel_.onTimer2 = [this](bool enabled) {
            timer2Due_ = enabled ? now_ + 1 : Never;
        };
        // As the main window's DTMF handler: the code compared exactly.
        QObject::connect(&link_, &Link::DTMFString, &link_, [this](const QString& sequence) {
            if (sequence != scenario_.dtmfCode)
                return;
            log_.starts.push_back({now_, true});
            announcer_.SayAudioTimeForDtmf();
        });
    }

    qint64 nowMs() const override { return now_; }
    void spendMs(qint64 ms) override { setNow(now_ + ms); }

    RunLog run();

private:
    enum class Kind { BusyOn, BusyOff, Dtmf, Switch };
    struct External {
        qint64 atMs;
        Kind kind;
        QString sequence;
    };

    void setNow(qint64 ms) {
        now_ = ms;
        clock_.monotonic = ms;
        clock_.time = scenario_.wall.at(ms);
    }
    // A repeating timer's next tick; one that fell behind starts afresh from now.
    void rearm(qint64& due, qint64 interval) const {
        due += interval;
        if (due < now_)
            due = now_ + interval;
    }
    qint64 renderCostMs() { return costs_.chance(2) ? 12 : 2 + costs_.below(3); }
    void onTrigger();
    std::vector<External> externals() const;
    struct Shown;
    Shown toShow() const;
    bool refreshWouldChangeNothing() const;
    qint64 nextSequencerTick() const;
    void fireTimer1();
    void fireExternal(const External& event);
    void observe();

    const Scenario& scenario_;
    const RunOptions options_;
    qint64 now_ = 0;
    Rng costs_;
    RunLog log_;
    int triggers_ = 0;

    FakeClock clock_;
    SoakPanel panel_{clock_};
    FakeLink link_;
    SimGraphFactory graphs_{*this, VoiceDurations(), [this] {
                                return renderCostMs();
                            }};
    AnnouncementState state_;
    ClipPlayer player_{graphs_};
    // With the program's default transmit time-out, ending the announcement as the window does.
    TransmitKeying keying_{link_, panel_,
                           TransmitTimeout{180, [this] { return clock_.monotonicMs(); },
                                           [this] {
                                               composer_.EndAnnouncement();
                                           }}};
    Composer composer_{Composer::Parts{state_, panel_, player_, panel_, keying_,
                                       QStringLiteral("/opt/tempovox"),
                                       QStringLiteral("file:///opt/tempovox/docs/voices.md")}};
    Sequencer sequencer_{Sequencer::Parts{state_, panel_, composer_, player_, panel_, keying_}};
    Announcer announcer_{Announcer::Parts{state_, panel_, composer_, player_}};
    ClockScheduler scheduler_{ClockScheduler::Parts{clock_, panel_, link_, [this] {
                                                        onTrigger();
                                                    }}};

    // The main window's timers: when each ticks next.
    qint64 timer1Due_ = 10;
    qint64 timer2Due_ = Never;
    qint64 timer3Due_ = Never;
    qint64 beacon8Due_ = 1000;

    // What the last Timer1 refresh saw: while nothing differs, a refresh writes the same texts.
    struct Shown {
        quint64 graph = 0;
        double position = -1.0;
        quint64 writes = 0;
        bool operator==(const Shown&) const = default;
    };
    Shown shown_;
    bool timer1Skipping_ = false;
    bool keyed_ = false;
};

void Station::onTrigger() {
    const int trigger = triggers_++;
    if (trigger == options_.dropTrigger)
        return;
    for (int i = trigger == options_.doubleTrigger ? 2 : 1; i > 0; --i) {
        log_.starts.push_back({now_, false});
        announcer_.SayAudioTime();
    }
}

std::vector<Station::External> Station::externals() const {
    std::vector<External> events;
    for (const auto& busy : scenario_.busy) {
        events.push_back({busy.fromMs, Kind::BusyOn, {}});
        events.push_back({busy.toMs, Kind::BusyOff, {}});
    }
    for (const auto& dtmf : scenario_.dtmf)
        events.push_back({dtmf.atMs, Kind::Dtmf, dtmf.sequence});
    for (const qint64 at : scenario_.chainSwitches)
        events.push_back({at, Kind::Switch, {}});
    std::stable_sort(events.begin(), events.end(),
                     [](const External& a, const External& b) { return a.atMs < b.atMs; });
    return events;
}

Station::Shown Station::toShow() const {
    const auto graph = graphs_.current();
    return {graph ? graph->serial() : 0, graph ? graph->CurrentPosition().value_or(-1.0) : -1.0,
            panel_.progressWrites};
}

bool Station::refreshWouldChangeNothing() const {
    const auto graph = graphs_.current();
    return !(graph && graph->advancing()) && toShow() == shown_;
}

// While a clip plays and the screen does not read as ended, a sequencer tick only shows a
// position short of the end: the first tick that can act is the first at the clip's end.
qint64 Station::nextSequencerTick() const {
    if (timer2Due_ == Never || options_.everyTick || panel_.ClipEnded())
        return timer2Due_;
    const auto graph = graphs_.current();
    return graph && graph->advancing() ? std::max(timer2Due_, graph->endMs()) : timer2Due_;
}

void Station::fireTimer1() {
    rearm(timer1Due_, 10);
    RefreshProgress(player_, panel_);
    shown_ = toShow();
}

void Station::fireExternal(const External& event) {
    switch (event.kind) {
    case Kind::BusyOn:
        link_.busy = true;
        break;
    case Kind::BusyOff:
        link_.busy = false;
        break;
    case Kind::Dtmf:
        link_.sendDtmf(event.sequence);
        break;
    case Kind::Switch:
        panel_.check1 = panel_.check1 == 0 ? 1 : 0;
        break;
    }
}

// What an outside observer sees after each event: clips that have played out, the key.
void Station::observe() {
    if (const auto graph = graphs_.current())
        graph->noteEnd();
    if (link_.keyed != keyed_) {
        keyed_ = link_.keyed;
        if (keyed_)
            log_.keyed.push_back({now_, -1});
        else
            log_.keyed.back().toMs = now_;
    }
    link_.calls.clear(); // a week of calls would only fill memory
    if (!panel_.events.isEmpty()) {
        log_.loadFailures << panel_.events;
        panel_.events.clear();
    }
}

RunLog Station::run() {
    setNow(0);
    panel_.check1 = scenario_.longChainAtStart ? 1 : 0;
    panel_.check2 = 1;
    panel_.preamble = 9;
    panel_.ampm = 1;
    // Start-up as the main window does it: release the transmitter, nothing announcing.
    link_.SetPtt(false);
    keyed_ = link_.keyed;
    state_.AnnounceBusy = 0;
    timer3Due_ = scheduler_.MillisecondsToNextTick();

    const std::vector<External> events = externals();
    size_t nextEvent = 0;
    for (;;) {
        qint64 timer1 = Never;
        if (refreshWouldChangeNothing()) {
            timer1Skipping_ = true;
        } else {
            if (timer1Skipping_) {
                // The skipped ticks changed nothing; the timer keeps its phase.
                while (timer1Due_ < now_)
                    timer1Due_ += 10;
                timer1Skipping_ = false;
            }
            timer1 = timer1Due_;
        }
        const qint64 timer2 = nextSequencerTick();
        const qint64 external = nextEvent < events.size() ? events[nextEvent].atMs : Never;
        const qint64 next = std::min({timer1, timer2, timer3Due_, beacon8Due_, external});
        if (next > scenario_.lengthMs)
            break;
        if (next > now_)
            setNow(next);

        if (timer2 == next) {
            rearm(timer2Due_, 1);
            if (options_.deafSequencerFromMs < 0 || now_ < options_.deafSequencerFromMs)
                sequencer_.Timer2_Timer();
        } else if (timer1 == next) {
            fireTimer1();
        } else if (timer3Due_ == next) {
            scheduler_.Timer3_Timer();
            timer3Due_ = now_ + scheduler_.MillisecondsToNextTick();
        } else if (beacon8Due_ == next) {
            rearm(beacon8Due_, 1000);
            if (options_.deafWatchdogFromMs < 0 || now_ < options_.deafWatchdogFromMs)
                keying_.Beacon8_Timer(panel_.ClipEnded(), state_.AnnounceBusy);
        } else {
            fireExternal(events[nextEvent++]);
        }
        ++log_.events;
        observe();
    }
    observe();
    log_.heard = graphs_.heard;
    return log_;
}

// --- Judging a run.

QString When(const Scenario& scenario, qint64 monoMs) {
    return scenario.wall.at(monoMs).toString(QStringLiteral("ddd yyyy-MM-dd HH:mm:ss.zzz")) +
           QStringLiteral(" (t=%1 ms)").arg(monoMs);
}

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// The clips an announcement of this wall-clock time says, with the greeting, in 24 hours and
// with AM/PM as the final clip, as the soak's window is set.
QStringList ChainFor(bool longChain, const QDateTime& wall) {
    const int hour = wall.time().hour();
    QStringList chain{hour < 12   ? VoiceLibrary::GoodMorning
                      : hour < 18 ? VoiceLibrary::GoodEvening
                                  : VoiceLibrary::GoodAfternoon,
                      VoiceLibrary::TheTimeIs, TwoDigits(hour)};
    if (longChain)
        chain << VoiceLibrary::Hour;
    chain << TwoDigits(wall.time().minute());
    if (longChain)
        chain << VoiceLibrary::Minutes;
    chain << (hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
    return chain;
}

// Clip by clip, as said at the first or at the last moment of the announcement: a request
// just before a full minute may name the hour or the minute of either side.
bool Matches(const QStringList& heard, const QStringList& atStart, const QStringList& atEnd) {
    if (heard.size() != atStart.size())
        return false;
    for (qsizetype i = 0; i < heard.size(); ++i) {
        if (heard[i] != atStart[i] && heard[i] != atEnd[i])
            return false;
    }
    return true;
}

bool IsFinal(const QString& stem) {
    return stem == QLatin1String("AM") || stem == QLatin1String("PM");
}

int QuartersIn(qint64 fromWallMs, qint64 toWallMs) {
    int count = 0;
    for (qint64 q = (fromWallMs + Quarter - 1) / Quarter * Quarter; q < toWallMs; q += Quarter)
        ++count;
    return count;
}

struct Occurrence {
    qint64 monoMs;
    bool busy;
    int starts = 0;
};

// Every second of wall-clock time that reads a quarter-hour, found from the clock's steps
// alone: a skipped hour has none, a repeated hour has its quarters twice.
std::vector<Occurrence> QuarterHours(const Scenario& scenario) {
    std::vector<qint64> bounds{0};
    for (const auto& step : scenario.wall.steps) {
        if (step.atMs > 0 && step.atMs < scenario.lengthMs)
            bounds.push_back(step.atMs);
    }
    bounds.push_back(scenario.lengthMs);
    std::vector<Occurrence> quarters;
    for (size_t k = 0; k + 1 < bounds.size(); ++k) {
        const qint64 offset = scenario.wall.wallMs(bounds[k]) - bounds[k];
        const qint64 first = (bounds[k] + offset + Quarter - 1) / Quarter * Quarter;
        for (qint64 q = first; q + Second <= bounds[k + 1] + offset; q += Quarter) {
            const qint64 mono = q - offset;
            const bool busy = std::any_of(scenario.busy.begin(), scenario.busy.end(), [mono](const auto& b) {
                return b.fromMs <= mono && mono < b.toMs;
            });
            quarters.push_back({mono, busy});
        }
    }
    return quarters;
}

void CheckTriggers(const Scenario& scenario, const RunLog& log, SoakReport& r) {
    std::vector<Occurrence> quarters = QuarterHours(scenario);
    qint64 previous = -1;
    for (const StartRecord& start : log.starts) {
        if (start.dtmf)
            continue;
        ++r.scheduledStarts;
        if (previous >= 0) {
            const qint64 gap = start.atMs - previous;
            if (r.closestScheduledStartsMs < 0 || gap < r.closestScheduledStartsMs)
                r.closestScheduledStartsMs = gap;
            if (gap < Minute)
                r.failures << QStringLiteral("two scheduled starts %1 ms apart, at %2")
                                  .arg(gap)
                                  .arg(When(scenario, start.atMs));
        }
        previous = start.atMs;
        auto it = std::upper_bound(quarters.begin(), quarters.end(), start.atMs,
                                   [](qint64 at, const Occurrence& q) { return at < q.monoMs; });
        if (it != quarters.begin() && start.atMs < std::prev(it)->monoMs + Second && !std::prev(it)->busy) {
            ++std::prev(it)->starts;
        } else {
            ++r.triggersUnexpected;
            r.failures << QStringLiteral("scheduled start outside a free quarter-hour at %1")
                              .arg(When(scenario, start.atMs));
        }
    }
    for (const Occurrence& q : quarters) {
        if (q.busy) {
            ++r.quarterHoursBusy;
            continue;
        }
        ++r.triggersExpected;
        if (q.starts > 0)
            ++r.triggersStarted;
        if (q.starts == 0) {
            ++r.triggersMissed;
            r.failures << QStringLiteral("no announcement at %1").arg(When(scenario, q.monoMs));
        }
        if (q.starts > 1) {
            ++r.triggersDoubled;
            r.failures
                << QStringLiteral("%1 announcements at %2").arg(q.starts).arg(When(scenario, q.monoMs));
        }
    }
    for (const auto& step : scenario.wall.steps) {
        if (step.atMs <= 0 || step.atMs >= scenario.lengthMs)
            continue;
        const qint64 before = scenario.wall.wallMs(step.atMs) - step.byMs;
        if (step.byMs > 0)
            r.quarterHoursSkipped += QuartersIn(before, before + step.byMs);
        else
            r.quarterHoursRepeated += QuartersIn(before + step.byMs, before);
    }
}

const KeyedSpan* SpanAt(const RunLog& log, qint64 ms) {
    const KeyedSpan* found = nullptr;
    for (const KeyedSpan& span : log.keyed) {
        if (span.fromMs > ms)
            break;
        found = &span;
    }
    return found;
}

void CheckAnnouncements(const Scenario& scenario, const RunLog& log, SoakReport& r) {
    std::vector<HeardClip> heard = log.heard;
    std::stable_sort(heard.begin(), heard.end(),
                     [](const HeardClip& a, const HeardClip& b) { return a.endedMs < b.endedMs; });
    size_t h = 0;
    bool previousComplete = true;
    for (size_t i = 0; i < log.starts.size(); ++i) {
        const StartRecord& start = log.starts[i];
        const qint64 next = i + 1 < log.starts.size() ? log.starts[i + 1].atMs : Never;
        // The clips that ended after this start and no later than the next one are its own.
        while (h < heard.size() && heard[h].endedMs <= start.atMs)
            ++h;
        QStringList clips;
        qint64 firstClipStart = -1, endMs = -1;
        for (; h < heard.size() && heard[h].endedMs <= next; ++h) {
            if (clips.isEmpty())
                firstClipStart = heard[h].startedMs;
            clips << heard[h].stem;
            endMs = heard[h].endedMs;
        }
        const bool complete = !clips.isEmpty() && IsFinal(clips.last());
        const bool idle = previousComplete;
        previousComplete = complete;
        const qint64 until = complete ? endMs : std::min(next, scenario.lengthMs);
        const bool switched = std::any_of(scenario.chainSwitches.begin(), scenario.chainSwitches.end(),
                                          [&](qint64 at) { return at >= start.atMs && at <= until; });
        const QString what = QStringLiteral("%1 announcement at %2 [%3]")
                                 .arg(start.dtmf ? QStringLiteral("DTMF") : QStringLiteral("scheduled"),
                                      When(scenario, start.atMs), clips.join(QLatin1Char(' ')));
        if (!complete) {
            if (switched)
                ++r.chainSwitched;
            else if (next - start.atMs <= StallLimitMs)
                ++r.restarted;
            else
                r.failures << what + QStringLiteral(": never played its final clip");
            continue;
        }
        r.longestAnnouncementMs = std::max(r.longestAnnouncementMs, endMs - start.atMs);

        if (switched) {
            ++r.chainSwitched;
        } else {
            const bool longChain = scenario.longChainAt(start.atMs);
            const QStringList full = ChainFor(longChain, scenario.wall.at(start.atMs));
            const QStringList fullAtEnd = ChainFor(longChain, scenario.wall.at(endMs));
            bool ok;
            if (!start.dtmf) {
                // Over a running announcement the clip playing may be restarted once first.
                ok = Matches(clips, full, fullAtEnd) ||
                     (!idle && Matches(clips.mid(1), full, fullAtEnd) && clips.size() == full.size() + 1);
            } else if (idle && i > 0) {
                ok = Matches(clips, full, fullAtEnd);
            } else {
                // Goes on from "TheTimeIs" after whatever the first load played or restarted.
                const QStringList tail = full.mid(1), tailAtEnd = fullAtEnd.mid(1);
                ok = Matches(clips, tail, tailAtEnd) ||
                     (clips.size() == tail.size() + 1 && Matches(clips.mid(1), tail, tailAtEnd));
            }
            if (ok)
                ++r.fullChains;
            else
                r.failures << what + QStringLiteral(": expected %1").arg(full.join(QLatin1Char(' ')));
        }

        const KeyedSpan* span = SpanAt(log, firstClipStart);
        if (!span || (span->toMs >= 0 && span->toMs < endMs)) {
            r.failures << what + QStringLiteral(": the transmitter was not keyed throughout");
            continue;
        }
        if (next <= endMs + ReleaseLimitMs)
            continue; // started again before the watchdog's turn
        if (span->toMs < 0 || span->toMs - endMs > ReleaseLimitMs) {
            ++r.releasedLate;
            r.failures << what + QStringLiteral(": still keyed %1 ms after its end")
                                     .arg(span->toMs < 0 ? scenario.lengthMs - endMs : span->toMs - endMs);
            continue;
        }
        r.worstReleaseMs = std::max(r.worstReleaseMs, span->toMs - endMs);
    }
}

void CheckKeying(const Scenario& scenario, const RunLog& log, SoakReport& r) {
    for (const KeyedSpan& span : log.keyed) {
        const qint64 to = span.toMs < 0 ? scenario.lengthMs : span.toMs;
        qint64 from = span.fromMs;
        for (const StartRecord& start : log.starts) {
            if (start.atMs <= to)
                from = std::max(from, start.atMs);
        }
        r.longestKeyedSinceStartMs = std::max(r.longestKeyedSinceStartMs, to - from);
        if (to - from > r.longestAnnouncementMs + KeyedSlackMs)
            r.failures << QStringLiteral("keyed for %1 ms after the last start, from %2")
                              .arg(to - from)
                              .arg(When(scenario, from));
        if (span.toMs < 0)
            r.failures << QStringLiteral("still keyed when the run ended, since %1")
                              .arg(When(scenario, span.fromMs));
    }
}

} // namespace

qint64 WallClock::wallMs(qint64 monoMs) const {
    qint64 wall = startMs + monoMs;
    for (const Step& step : steps) {
        if (step.atMs <= monoMs)
            wall += step.byMs;
    }
    return wall;
}

bool Scenario::longChainAt(qint64 monoMs) const {
    bool longChain = longChainAtStart;
    for (const qint64 at : chainSwitches) {
        if (at <= monoMs)
            longChain = !longChain;
    }
    return longChain;
}

Scenario QuietScenario(qint64 lengthMs) {
    Scenario scenario;
    scenario.lengthMs = lengthMs;
    scenario.wall.startMs = RunStart.toMSecsSinceEpoch();
    return scenario;
}

Scenario MakeScenario(quint32 seed, int days) {
    Scenario s = QuietScenario(Minute + days * Day + 30 * Second);
    s.seed = seed;
    Rng rng(seed);
    // Until Wednesday the monotonic clock reads the wall clock from the start; from then
    // until Sunday the wall clock is an hour behind it.
    s.wall.steps.push_back({WallOf(QDate(2026, 3, 25), QTime(2, 0)) - s.wall.startMs, -Hour});
    s.wall.steps.push_back({WallOf(QDate(2026, 3, 29), QTime(1, 0)) - s.wall.startMs + Hour, Hour});

    const qint64 lastEvent = s.lengthMs - 2 * Minute;
    std::vector<Scenario::Busy> busy;
    for (int d = 0; d < days; ++d) {
        const qint64 day = Minute + d * Day; // the monotonic time of midnight, to within the steps' hours
        for (qint64 n = 2 + rng.below(4); n > 0; --n) {
            const qint64 minute = day + rng.below(24 * 60) * Minute;
            const qint64 from = minute + 5 * Second + rng.below(50 * Second);
            const qint64 to = minute + (2 + rng.below(19)) * Minute + 5 * Second + rng.below(50 * Second);
            if (to < lastEvent)
                busy.push_back({from, to});
        }

        for (qint64 n = 10 + rng.below(8); n > 0; --n) {
            const int aim = static_cast<int>(rng.below(10));
            qint64 at;
            if (aim < 4) // any moment
                at = day + rng.below(Day);
            else if (aim < 8) // while an announcement plays
                at = day + rng.below(96) * Quarter + rng.below(5 * Second);
            else // just before a scheduled one
                at = day + (1 + rng.below(96)) * Quarter - 1 - rng.below(8 * Second);
            static const char* const wrong[] = {"1234", "12", "#123", "123#", "321", "123 ", "0123", "*123"};
            const QString sequence = rng.chance(65) ? s.dtmfCode : QLatin1String(wrong[rng.below(8)]);
            s.dtmf.push_back({at, sequence});
            if (aim >= 4 && aim < 8 && rng.chance(30)) // the station asks again
                s.dtmf.push_back({at + 200 + rng.below(3000), s.dtmfCode});
        }

        // Half of them while an announcement plays.
        s.chainSwitches.push_back(rng.chance(50)
                                      ? day + rng.below(Day)
                                      : day + rng.below(96) * Quarter + 200 + rng.below(4 * Second));
    }

    // Periods that overlap or nearly touch become one.
    std::sort(busy.begin(), busy.end(), [](const auto& a, const auto& b) { return a.fromMs < b.fromMs; });
    for (const auto& period : busy) {
        if (!s.busy.empty() && period.fromMs <= s.busy.back().toMs + Minute)
            s.busy.back().toMs = std::max(s.busy.back().toMs, period.toMs);
        else
            s.busy.push_back(period);
    }
    std::erase_if(s.dtmf, [&](const Scenario::Dtmf& d) { return d.atMs < Second || d.atMs > lastEvent; });
    std::stable_sort(s.dtmf.begin(), s.dtmf.end(),
                     [](const auto& a, const auto& b) { return a.atMs < b.atMs; });
    std::erase_if(s.chainSwitches, [&](qint64 at) { return at > lastEvent; });
    std::sort(s.chainSwitches.begin(), s.chainSwitches.end());
    return s;
}

RunLog RunStation(const Scenario& scenario, const RunOptions& options) {
    Station station(scenario, options);
    return station.run();
}

SoakReport CheckRun(const Scenario& scenario, const RunLog& log) {
    SoakReport r;
    r.busyPeriods = static_cast<int>(scenario.busy.size());
    r.dtmfRequests = static_cast<int>(scenario.dtmf.size());
    r.dtmfRightCode =
        static_cast<int>(std::count_if(scenario.dtmf.begin(), scenario.dtmf.end(),
                                       [&](const auto& d) { return d.sequence == scenario.dtmfCode; }));
    r.announcements = static_cast<int>(log.starts.size());
    r.dtmfStarts = static_cast<int>(
        std::count_if(log.starts.begin(), log.starts.end(), [](const StartRecord& s) { return s.dtmf; }));
    if (r.dtmfStarts != r.dtmfRightCode)
        r.failures << QStringLiteral("%1 DTMF starts for %2 requests with the code")
                          .arg(r.dtmfStarts)
                          .arg(r.dtmfRightCode);
    for (const QString& failure : log.loadFailures)
        r.failures << QStringLiteral("load failed: ") + failure;
    CheckTriggers(scenario, log, r);
    CheckAnnouncements(scenario, log, r);
    CheckKeying(scenario, log, r);
    return r;
}

QString SummaryLine(const Scenario& scenario, const SoakReport& r, const RunLog& log, qint64 runMs) {
    return QStringLiteral("soak seed=%1 days=%2: announcements=%3 (scheduled %4, dtmf %5; full chains %6, "
                          "restarted %7, crossed by a chain switch %8) dtmf requests=%9 (with the code %10) "
                          "triggers expected=%11 started=%12 missed=%13 doubled=%14 unexpected=%15 "
                          "(busy %16, skipped by DST %17, repeated by DST %18) busy periods=%19 "
                          "released late=%26 worst release=%20 ms longest announcement=%21 ms longest keyed "
                          "since a start=%22 ms "
                          "closest scheduled starts=%23 s events=%24 run=%25 ms")
        .arg(scenario.seed)
        .arg(static_cast<double>(scenario.lengthMs) / Day, 0, 'f', 2)
        .arg(r.announcements)
        .arg(r.scheduledStarts)
        .arg(r.dtmfStarts)
        .arg(r.fullChains)
        .arg(r.restarted)
        .arg(r.chainSwitched)
        .arg(r.dtmfRequests)
        .arg(r.dtmfRightCode)
        .arg(r.triggersExpected)
        .arg(r.triggersStarted)
        .arg(r.triggersMissed)
        .arg(r.triggersDoubled)
        .arg(r.triggersUnexpected)
        .arg(r.quarterHoursBusy)
        .arg(r.quarterHoursSkipped)
        .arg(r.quarterHoursRepeated)
        .arg(r.busyPeriods)
        .arg(r.worstReleaseMs)
        .arg(r.longestAnnouncementMs)
        .arg(r.longestKeyedSinceStartMs)
        .arg(r.closestScheduledStartsMs / 1000)
        .arg(log.events)
        .arg(runMs)
        .arg(r.releasedLate);
}
