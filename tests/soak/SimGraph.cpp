#include "SimGraph.h"

#include <algorithm>
#include <array>
#include <cmath>

SimGraph::~SimGraph() {
    // A clip that reached its end before the player dropped it was heard in full.
    noteEnd();
}

bool SimGraph::RenderFile(const QString& path, QString* error) {
    factory_.time_.spendMs(factory_.renderCostMs_());
    const QString stem = path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
    const auto found = factory_.durations_.constFind(stem);
    if (path.isEmpty() || found == factory_.durations_.constEnd()) {
        *error = QStringLiteral("no such file");
        return false;
    }
    stem_ = stem;
    duration_ = *found;
    return true;
}

bool SimGraph::Run() {
    if (!duration_)
        return false;
    rebase();
    if (!running_ && basePosition_ == 0.0)
        startedMs_ = baseMs_;
    running_ = true;
    return true;
}

bool SimGraph::Stop() {
    if (!duration_)
        return false;
    noteEnd();
    rebase();
    running_ = false;
    return true;
}

bool SimGraph::SetVolume(int) {
    return duration_.has_value();
}

std::optional<double> SimGraph::CurrentPosition() const {
    if (!duration_)
        return std::nullopt;
    return positionAt(factory_.time_.nowMs());
}

bool SimGraph::SetCurrentPosition(double seconds) {
    if (!duration_)
        return false;
    noteEnd();
    basePosition_ = std::clamp(seconds, 0.0, *duration_);
    baseMs_ = factory_.time_.nowMs();
    if (basePosition_ == 0.0)
        startedMs_ = baseMs_;
    noted_ = false;
    return true;
}

bool SimGraph::SetRate(double rate) {
    if (!duration_ || rate <= 0.0)
        return false;
    rebase();
    rate_ = rate;
    return true;
}

bool SimGraph::advancing() const {
    return duration_ && running_ && positionAt(factory_.time_.nowMs()) < *duration_;
}

qint64 SimGraph::endMs() const {
    qint64 end = baseMs_ + static_cast<qint64>((*duration_ - basePosition_) * 1000.0 / rate_);
    while (end > baseMs_ && positionAt(end - 1) >= *duration_)
        --end;
    while (positionAt(end) < *duration_)
        ++end;
    return end;
}

void SimGraph::noteEnd() {
    if (noted_ || !duration_ || !running_ || positionAt(factory_.time_.nowMs()) < *duration_)
        return;
    noted_ = true;
    const double endMs = static_cast<double>(baseMs_) + (*duration_ - basePosition_) * 1000.0 / rate_;
    factory_.heard.push_back({stem_, startedMs_, static_cast<qint64>(std::ceil(endMs))});
}

double SimGraph::positionAt(qint64 ms) const {
    if (!running_)
        return basePosition_;
    const double position = basePosition_ + static_cast<double>(ms - baseMs_) * rate_ / 1000.0;
    return std::min(position, *duration_);
}

void SimGraph::rebase() {
    const qint64 now = factory_.time_.nowMs();
    basePosition_ = positionAt(now);
    baseMs_ = now;
}

std::shared_ptr<FilterGraph> SimGraphFactory::CreateGraph() {
    auto graph = std::make_shared<SimGraph>(*this, ++made_);
    current_ = graph;
    return graph;
}

QHash<QString, double> VoiceDurations() {
    // Samples of "00" to "59", then of the words.
    constexpr std::array<int, 60> numbers{
        35037, 21382, 22103, 23356, 25682, 28244, 27439, 28901, 20388, 27542, 16538, 22635,
        21572, 22652, 23960, 23416, 25487, 29684, 19695, 25244, 22593, 30883, 32164, 33124,
        35296, 37863, 37051, 38513, 31152, 36771, 18742, 26445, 28668, 29516, 32007, 34555,
        33744, 35021, 27655, 34618, 20271, 27986, 29834, 30980, 33153, 35716, 34909, 36180,
        28793, 36143, 20536, 28544, 31387, 32052, 34514, 37083, 36277, 37735, 30367, 36001};
    constexpr double Rate = 44100.0;
    QHash<QString, double> durations;
    for (int n = 0; n < 60; ++n)
        durations.insert(QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')), numbers[n] / Rate);
    const std::pair<const char*, int> words[] = {
        {"AM", 20154},         {"PM", 20879},          {"Blank", 13230},       {"DingDong", 83790},
        {"DingDong2", 105840}, {"GoodMorning", 30444}, {"GoodEvening", 39052}, {"GoodAfternoon", 30195},
        {"TheTimeIs", 28651},  {"Hour", 18538},        {"Minutes", 22529},
    };
    for (const auto& [stem, samples] : words)
        durations.insert(QLatin1String(stem), samples / Rate);
    return durations;
}
