#include "FakeGraph.h"

bool FakeGraph::RenderFile(const QString& clipPath, QString* error) {
    calls << QStringLiteral("RenderFile ") + clipPath;
    path = clipPath;
    if (library_) {
        library_->rendered << clipPath;
        if (clipPath.isEmpty() || library_->missing.contains(clipPath)) {
            *error = QStringLiteral("no such file");
            return false;
        }
        duration = library_->durations.value(clipPath, 2.0);
    }
    return true;
}

bool FakeGraph::Run() {
    calls << QStringLiteral("Run");
    running = true;
    return true;
}

bool FakeGraph::Stop() {
    calls << QStringLiteral("Stop");
    running = false;
    return true;
}

bool FakeGraph::SetVolume(int hundredthsOfDb) {
    calls << QStringLiteral("SetVolume %1").arg(hundredthsOfDb);
    volume = hundredthsOfDb;
    return true;
}

bool FakeGraph::SetCurrentPosition(double seconds) {
    calls << QStringLiteral("SetCurrentPosition %1").arg(seconds);
    position = seconds;
    return true;
}

bool FakeGraph::SetRate(double newRate) {
    calls << QStringLiteral("SetRate %1").arg(newRate);
    rate = newRate;
    return true;
}

std::shared_ptr<FilterGraph> FakeGraphFactory::CreateGraph() {
    auto graph = std::make_shared<FakeGraph>(this);
    made.push_back(graph);
    return graph;
}
