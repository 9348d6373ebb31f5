#pragma once

#include "FilterGraph.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Milliseconds of simulated time since the program started. Graphs read it to know how far
// a clip has played; only the simulation moves it on.
class SimTime {
public:
    virtual ~SimTime() = default;
    virtual qint64 nowMs() const = 0;
    // Time that passes inside the handler that is running, as a real clip load takes it.
    virtual void spendMs(qint64 ms) = 0;
};

// A clip heard from its beginning to its end.
struct HeardClip {
    QString stem;
    qint64 startedMs;
    qint64 endedMs;
};

class SimGraphFactory;

// A graph that plays its clip in simulated time: once running, the position moves on at the
// rate set and rests at exactly the duration after the end, as a real graph's does after the
// end of the stream. Dropping it stops it.
class SimGraph : public FilterGraph {
public:
    SimGraph(SimGraphFactory& factory, quint64 serial)
        : factory_(factory)
        , serial_(serial) {}
    ~SimGraph() override;

    bool RenderFile(const QString& path, QString* error) override;
    bool Run() override;
    bool Stop() override;
    bool SetVolume(int hundredthsOfDb) override;
    std::optional<double> Duration() const override { return duration_; }
    std::optional<double> CurrentPosition() const override;
    bool SetCurrentPosition(double seconds) override;
    bool SetRate(double rate) override;

    quint64 serial() const { return serial_; }
    // Still moving towards its end.
    bool advancing() const;
    // The first whole millisecond at which the position reads the duration, while advancing.
    qint64 endMs() const;
    // Records the clip as heard once it has played to its end (once per playing).
    void noteEnd();

private:
    double positionAt(qint64 ms) const;
    void rebase();

    SimGraphFactory& factory_;
    quint64 serial_;
    QString stem_;
    std::optional<double> duration_;
    double basePosition_ = 0.0; // the position at baseMs_
    qint64 baseMs_ = 0;
    qint64 startedMs_ = 0; // when the position was last set to the beginning
    double rate_ = 1.0;
    bool running_ = false;
    bool noted_ = false;
};

// The voice folder and the audio output: every stem in `durations` renders, after spending
// `renderCostMs()` of simulated time; anything else fails as a missing file would.
class SimGraphFactory : public GraphFactory {
public:
    SimGraphFactory(SimTime& time, QHash<QString, double> durations, std::function<qint64()> renderCostMs)
        : time_(time)
        , durations_(std::move(durations))
        , renderCostMs_(std::move(renderCostMs)) {}

    std::shared_ptr<FilterGraph> CreateGraph() override;

    // The graph made last, while the player still holds it.
    std::shared_ptr<SimGraph> current() const { return current_.lock(); }

    std::vector<HeardClip> heard; // in the order the clips ended

private:
    friend class SimGraph;

    SimTime& time_;
    QHash<QString, double> durations_;
    std::function<qint64()> renderCostMs_;
    std::weak_ptr<SimGraph> current_;
    quint64 made_ = 0;
};

// Clip lengths, in seconds, of a plausible English voice: whole samples at 44.1 kHz, every
// stem a different length.
QHash<QString, double> VoiceDurations();
