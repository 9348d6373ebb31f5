#pragma once

#include "FilterGraph.h"

#include <QMap>
#include <QSet>
#include <QStringList>

#include <memory>
#include <vector>

class FakeGraphFactory;

// A media graph that plays nothing: it records every call, and its clip ends when the test
// says so (`finish`).
class FakeGraph : public FilterGraph {
public:
    explicit FakeGraph(FakeGraphFactory* library = nullptr)
        : library_(library) {}

    bool RenderFile(const QString& path, QString* error) override;
    bool Run() override;
    bool Stop() override;
    bool SetVolume(int hundredthsOfDb) override;
    std::optional<double> Duration() const override { return duration; }
    std::optional<double> CurrentPosition() const override { return position; }
    bool SetCurrentPosition(double seconds) override;
    bool SetRate(double newRate) override;

    void finish() { position = duration; }

    QString path;
    QStringList calls;
    double duration = 2.0;
    double position = 0.0;
    double rate = 1.0;
    int volume = 0;
    bool running = false;

private:
    FakeGraphFactory* library_;
};

// Hands out fake graphs and plays the part of the voice folder: every path renders unless
// it is listed as missing, with the duration the test gave it (2 s otherwise).
class FakeGraphFactory : public GraphFactory {
public:
    std::shared_ptr<FilterGraph> CreateGraph() override;

    // The graph made last, while something still holds it.
    std::shared_ptr<FakeGraph> current() const { return made.empty() ? nullptr : made.back().lock(); }

    QMap<QString, double> durations;
    QSet<QString> missing;
    QStringList rendered; // every path asked for, in order
    std::vector<std::weak_ptr<FakeGraph>> made;
};
