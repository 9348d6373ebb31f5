#pragma once

#include "FilterGraph.h"

#include <QStringList>

#include <memory>
#include <vector>

// A media graph that plays nothing: it records every call and reports the clip the test set.
class FakeGraph : public FilterGraph {
public:
    bool RenderFile(const QString& path, QString* error) override;
    bool Run() override;
    bool Stop() override;
    bool SetVolume(int hundredthsOfDb) override;
    std::optional<double> Duration() const override { return duration; }
    std::optional<double> CurrentPosition() const override { return position; }
    bool SetCurrentPosition(double seconds) override;
    bool SetRate(double newRate) override;

    QStringList calls;
    QString renderError; // non-empty: RenderFile fails with it
    double duration = 2.0;
    double position = 0.0;
    double rate = 1.0;
    int volume = 0;
    bool running = false;
};

class FakeGraphFactory : public GraphFactory {
public:
    std::shared_ptr<FilterGraph> CreateGraph() override;

    std::vector<std::weak_ptr<FakeGraph>> made; // every graph handed out, to see which still live
};
