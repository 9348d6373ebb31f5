// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the built program as a station meets it, each against the minimal station
// (minimal_station) in the same surroundings. Run by bench/run.sh; see BENCHMARKS.md.
//
//   station_bench gaps COUNT [--mp3] [--baseline]   silence between clips, DTMF answer
//   station_bench trigger COUNT [--baseline]        quarter hour to first sound
//   station_bench startup COUNT [--window] [--baseline]
//   station_bench idle SECONDS                      CPU and memory, all four kinds at once
//
// Each prints Markdown table rows. The program is driven through its link socket and heard
// through a synchronising sink that writes to a pipe, as in the end-to-end tests: a buffer
// reaches the pipe the moment it would be heard.

#include "EndToEndRun.h"
#include "ProcessUsage.h"
#include "RecordingTimes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <thread>
#include <vector>

#include <poll.h>
#ifdef TEMPOVOX_BENCH_XCB
#include <xcb/xcb.h>
#endif

using e2e::Chunk;
using e2e::chunksOf;
using e2e::Event;
using e2e::Mark;
using e2e::RecordBytesPerSecond;
using e2e::RunOptions;
using e2e::TempovoxRun;
using e2e::Usage;
using e2e::usageOf;

namespace {

// Long enough to tell clips apart, short enough for hundreds of announcements in minutes.
constexpr double VoiceScale = 0.5;
// The chain every gap announcement plays (long chain, greeting, 12-hour form), and its start.
const char* const GapClockStart = "2026-01-05 21:41:05";
const QStringList BaselineChain = {QStringLiteral("GoodAfternoon"),
                                   QStringLiteral("TheTimeIs"),
                                   QStringLiteral("09"),
                                   QStringLiteral("Hour"),
                                   QStringLiteral("41"),
                                   QStringLiteral("Minutes"),
                                   QStringLiteral("PM")};
// After this much silence an announcement is over: far more than any gap seen.
constexpr qint64 QuietUs = 150'000;

struct Summary {
    size_t count = 0;
    double median = 0, p99 = 0, worst = 0;
};

Summary summarise(std::vector<double> values) {
    Summary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    s.p99 = values[size_t(std::ceil(0.99 * double(values.size()))) - 1];
    s.worst = values.back();
    return s;
}

void printRow(const char* what, const Summary& s) {
    std::printf("| %s | %zu | %.1f | %.1f | %.1f |\n", what, s.count, s.median, s.p99, s.worst);
    std::fflush(stdout);
}

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "station_bench: %s\n", qUtf8Printable(why));
    std::exit(1);
}

RunOptions stationOptions(bool baseline, bool window, const QString& clip = QStringLiteral("TheTimeIs")) {
    RunOptions o;
    o.window = window;
    if (baseline) {
        o.program = QStringLiteral(MINIMAL_STATION_BINARY);
        o.arguments = {QStringLiteral("--clip"), clip};
        if (!window)
            o.arguments << QStringLiteral("--headless");
    }
    // Nothing scheduled unless a benchmark asks for it.
    for (const char* key : {"ONHOUR", "HALFHOUR", "QUARTERHOUR"})
        o.settings.append({QString::fromLatin1(key), QStringLiteral("0")});
    return o;
}

void start(TempovoxRun& run) {
    QString error;
    if (!run.start(&error))
        fail(error + QLatin1Char('\n') + run.errorLines().join(QLatin1Char('\n')));
}

// Waits until the sound that followed `mark` has been over for QuietUs.
bool waitForQuiet(TempovoxRun& run, const Mark& mark, int timeoutMs) {
    return run.waitFor(
        [&] {
            const std::vector<Chunk> chunks = chunksOf(run.eventsSince(mark));
            if (chunks.empty())
                return false;
            const qint64 from = chunks.front().begin & ~qint64(1);
            const QByteArray audio = run.audio(from);
            const auto end = e2e::soundEnds(audio, 0, audio.size());
            return end && run.nowUs() - e2e::heardAtUs(chunks, from + *end, true) > QuietUs;
        },
        timeoutMs);
}

// Where the first sound after the first chunk begins, and where the last sound ends.
std::pair<qint64, qint64> soundOf(TempovoxRun& run, const std::vector<Chunk>& chunks) {
    const QByteArray audio = run.audio();
    return {e2e::soundBegins(audio, chunks.front().begin, chunks.back().end).value_or(chunks.front().begin),
            e2e::soundEnds(audio, chunks.front().begin, chunks.back().end).value_or(chunks.back().end)};
}

std::optional<qint64> firstLineUs(const std::vector<Event>& events, const QByteArray& line) {
    for (const Event& e : events) {
        if (e.kind == Event::Kind::Line && e.line == line)
            return e.us;
    }
    return std::nullopt;
}

int gaps(int count, bool mp3, bool baseline) {
    RunOptions o = stationOptions(baseline, false, QStringLiteral("Chain"));
    o.fakeStart = QString::fromLatin1(GapClockStart);
    o.mp3 = mp3;
    for (const auto& [key, value] : {std::pair{"CHECK1", "1"},
                                     {"CHECK2", "1"},
                                     {"OPTION5", "False"},
                                     {"OPTION6", "False"},
                                     {"OPTION9", "True"},
                                     {"OPTION1", "True"},
                                     {"OPTION2", "False"},
                                     {"AMPM", "1"}})
        o.settings.append({QString::fromLatin1(key), QString::fromLatin1(value)});
    TempovoxRun run(o);
    start(run);
    if (baseline) {
        // The same clips as one gapless file: its clip boundaries are where the lengths add up.
        QStringList sox;
        for (const QString& stem : BaselineChain)
            sox << run.voiceFolder() + stem + QStringLiteral(".wav");
        sox << run.voiceFolder() + QStringLiteral("Chain.wav");
        if (QProcess::execute(QStringLiteral("sox"), sox) != 0)
            fail(QStringLiteral("sox could not join the clips"));
    }
    std::vector<qint64> expected; // the baseline's boundaries, from the start of its audio
    qint64 samples = 0;           // at the clips' own rate
    for (qsizetype i = 0; i + 1 < BaselineChain.size(); ++i) {
        for (const e2e::VoiceClip& clip : e2e::testVoice()) {
            if (clip.stem == BaselineChain[i])
                samples += std::lround(clip.seconds * 44100);
        }
        expected.push_back(std::llround(double(samples) * e2e::RecordRate / 44100.0) * 2);
    }

    std::vector<double> silence, toPtt, toSound, lengthsMs;
    int otherwise = 0;
    // The first request after start-up plays a shorter chain; it only warms up.
    for (int n = -1; n < count; ++n) {
        const Mark mark = run.mark();
        run.send("DTMF 123");
        if (!waitForQuiet(run, mark, 5000))
            fail(QStringLiteral("no announcement:\n") + run.logSince(mark));
        if (n < 0)
            continue;
        const std::vector<Event> events = run.eventsSince(mark);
        const std::vector<Chunk> chunks = chunksOf(events);
        QStringList stems;
        const auto [soundBegin, soundEnd] = soundOf(run, chunks);
        std::vector<e2e::Boundary> bounds;
        if (baseline) {
            for (const qint64 b : expected)
                bounds.push_back({soundBegin + b, soundBegin + b});
            stems = BaselineChain;
        } else {
            bounds = e2e::clipBoundaries(chunks, run.audio(), &stems);
        }
        if (stems.size() != BaselineChain.size() ||
            std::any_of(bounds.begin(), bounds.end(), [](const e2e::Boundary& b) { return b.silence < 0; })) {
            // A minute that changes while the announcement plays changes its chain.
            ++otherwise;
            std::fprintf(stderr, "station_bench: announcement %d heard as %s\n", n,
                         qUtf8Printable(stems.join(u' ')));
            continue;
        }
        const std::vector<double> silences = e2e::silencesMs(chunks, bounds);
        silence.insert(silence.end(), silences.begin(), silences.end());
        const qint64 sent = events.front().us;
        const qint64 sound = e2e::heardAtUs(chunks, soundBegin, false);
        if (const auto ptt = firstLineUs(events, "PTT 1"))
            toPtt.push_back(double(*ptt - sent) / 1000.0);
        toSound.push_back(double(sound - sent) / 1000.0);
        lengthsMs.push_back(double(e2e::heardAtUs(chunks, soundEnd, true) - sound) / 1000.0);
    }
    const char* who = baseline ? "minimal station, gapless file" : mp3 ? "Tempovox, MP3" : "Tempovox, WAV";
    std::printf("\n%s: %d announcements, %d heard with another chain and left out\n\n", who, count,
                otherwise);
    std::printf("| ms | n | median | p99 | worst |\n|---|---|---|---|---|\n");
    printRow("silence between clips", summarise(silence));
    printRow("DTMF line to PTT 1", summarise(toPtt));
    printRow("DTMF line to first sound", summarise(toSound));
    printRow("first to last sound", summarise(lengthsMs));
    return 0;
}

qint64 realUs() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return qint64(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

int trigger(int count, bool baseline) {
    // A quarter hour on the program's clock; each run's clock is set to reach it a few seconds
    // after the run starts, on a real second boundary.
    const qint64 quarter = QDateTime(QDate(2026, 1, 5), QTime(14, 15), Qt::UTC).toSecsSinceEpoch();
    std::vector<double> toPtt, toSound;
    int late = 0;
    for (int n = -1; n < count; ++n) {
        RunOptions o = stationOptions(baseline, false);
        o.settings.removeIf([](const auto& kv) { return kv.first == QLatin1String("QUARTERHOUR"); });
        o.settings.append({QStringLiteral("QUARTERHOUR"), QStringLiteral("1")});
        const qint64 boundaryReal = realUs() / 1'000'000 + 3;
        o.fakeOffsetSeconds = quarter - boundaryReal;
        TempovoxRun run(o);
        const qint64 boundary = boundaryReal * 1'000'000 - realUs() + run.nowUs();
        start(run);
        if (run.nowUs() > boundary - 200'000) {
            ++late;
            continue;
        }
        if (!run.waitFor([&] { return e2e::soundBegins(run.audio(), 0, INT64_MAX).has_value(); }, 6000))
            fail(QStringLiteral("no scheduled announcement:\n") + run.logSince({}));
        if (n < 0)
            continue; // the first run may build the media framework's plugin cache
        const std::vector<Event> events = run.eventsSince({});
        const std::vector<Chunk> chunks = chunksOf(events);
        if (const auto ptt = firstLineUs(events, "PTT 1"))
            toPtt.push_back(double(*ptt - boundary) / 1000.0);
        toSound.push_back(double(e2e::heardAtUs(chunks, soundOf(run, chunks).first, false) - boundary) /
                          1000.0);
    }
    std::printf("\n%s: %d quarter hours (%d runs started too late to count)\n\n",
                baseline ? "minimal station" : "Tempovox", count, late);
    std::printf("| ms | n | median | p99 | worst |\n|---|---|---|---|---|\n");
    printRow("second boundary to PTT 1", summarise(toPtt));
    printRow("second boundary to first sound", summarise(toSound));
    return 0;
}

#ifdef TEMPOVOX_BENCH_XCB
// When a top-level window is first mapped on the display, on `run`'s clock.
class MapWatcher {
public:
    MapWatcher() {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_))
            fail(QStringLiteral("cannot reach the X display $DISPLAY"));
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }
    ~MapWatcher() { xcb_disconnect(connection_); }

    void watch(const TempovoxRun& run) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(connection_))
            std::free(e);
        mappedUs_ = 0;
        thread_ = std::thread([this, &run] {
            const qint64 until = run.nowUs() + 10'000'000;
            while (run.nowUs() < until) {
                pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
                ::poll(&fd, 1, 50);
                while (xcb_generic_event_t* e = xcb_poll_for_event(connection_)) {
                    const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                                        reinterpret_cast<xcb_map_notify_event_t*>(e)->event == root_;
                    std::free(e);
                    if (mapped) {
                        mappedUs_ = run.nowUs();
                        return;
                    }
                }
            }
        });
    }
    qint64 mappedUs() {
        thread_.join();
        return mappedUs_;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_;
    std::thread thread_;
    std::atomic<qint64> mappedUs_{0};
};
#endif

int startup(int count, bool window, bool baseline) {
    std::vector<double> listening, shown;
    for (int n = -1; n < count; ++n) {
        TempovoxRun run(stationOptions(baseline, window));
#ifdef TEMPOVOX_BENCH_XCB
        std::optional<MapWatcher> watcher;
        if (window) {
            watcher.emplace();
            watcher->watch(run);
        }
#else
        if (window)
            fail(QStringLiteral("built without XCB: no window timing"));
#endif
        start(run);
        if (n < 0) {
#ifdef TEMPOVOX_BENCH_XCB
            if (watcher)
                watcher->mappedUs();
#endif
            continue;
        }
        listening.push_back(double(run.listeningUs() - run.startedUs()) / 1000.0);
#ifdef TEMPOVOX_BENCH_XCB
        if (watcher) {
            const qint64 mapped = watcher->mappedUs();
            if (mapped == 0)
                fail(QStringLiteral("the window was never shown"));
            shown.push_back(double(mapped - run.startedUs()) / 1000.0);
        }
#endif
    }
    std::printf("\n%s, %s: %d starts\n\n", baseline ? "minimal station" : "Tempovox",
                window ? "window on X" : "headless", count);
    std::printf("| ms | n | median | p99 | worst |\n|---|---|---|---|---|\n");
    printRow("process start to socket listening", summarise(listening));
    if (window)
        printRow("process start to window shown", summarise(shown));
    return 0;
}

int idle(int seconds) {
    struct Station {
        const char* name;
        std::unique_ptr<TempovoxRun> run;
        Usage from;
    };
    std::vector<Station> stations;
    for (const bool baseline : {false, true}) {
        for (const bool window : {false, true}) {
            const char* name = baseline
                                   ? (window ? "minimal station, window on X" : "minimal station, headless")
                                   : (window ? "Tempovox, window on X" : "Tempovox, headless");
            stations.push_back({name, std::make_unique<TempovoxRun>(stationOptions(baseline, window)), {}});
            start(*stations.back().run);
        }
    }
    // A station idles between announcements, with the last clip still loaded and shown; start-up
    // and the announcement itself are not idling.
    for (Station& s : stations)
        s.run->send("DTMF 123");
    QTest::qWait(5000);
    for (Station& s : stations)
        s.from = usageOf(s.run->processId());
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < qint64(seconds) * 1000)
        QTest::qWait(1000);
    std::printf("\nidle for %d s\n\n| program | CPU s | %% of one core | wake-ups/s | RSS MB |\n"
                "|---|---|---|---|---|\n",
                seconds);
    for (Station& s : stations) {
        const Usage to = usageOf(s.run->processId());
        const double cpu = to.cpuSeconds - s.from.cpuSeconds;
        std::printf("| %s | %.2f | %.3f | %.1f | %.1f |\n", s.name, cpu,
                    100.0 * cpu * 1000.0 / double(timer.elapsed()),
                    double(to.switches - s.from.switches) * 1000.0 / double(timer.elapsed()),
                    double(to.rssKb) / 1024.0);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString command = args.value(1);
    const int number = args.value(2).toInt();
    const bool baseline = args.contains(QStringLiteral("--baseline"));
    if (number <= 0)
        fail(QStringLiteral(
            "usage: station_bench gaps|trigger|startup|idle NUMBER [--mp3] [--window] [--baseline]"));
    e2e::scaleTestVoice(VoiceScale);
    if (command == QLatin1String("gaps"))
        return gaps(number, args.contains(QStringLiteral("--mp3")), baseline);
    if (command == QLatin1String("trigger"))
        return trigger(number, baseline);
    if (command == QLatin1String("startup"))
        return startup(number, args.contains(QStringLiteral("--window")), baseline);
    if (command == QLatin1String("idle"))
        return idle(number);
    fail(QStringLiteral("unknown benchmark ") + command);
}
