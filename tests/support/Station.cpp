// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"

#include "GstGraph.h"
#include "GstLaunch.h"
#include "MediaRuntime.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

bool FakeGraph::RenderFile(const QString& clip, QString* error) {
    path = clip;
    if (clip.isEmpty() || (missing && missing->contains(clip))) {
        *error = u"no such file"_s;
        return false;
    }
    if (!durations->contains(clip))
        durations->insert(clip, 1.0 + 0.01 * double(durations->size()));
    duration = durations->value(clip);
    return true;
}

std::shared_ptr<FilterGraph> FakeGraphFactory::CreateGraph() {
    auto graph = std::make_shared<FakeGraph>();
    graph->missing = &missing;
    graph->durations = &durations;
    made.push_back(graph);
    return graph;
}

namespace {

const QStringList ToneStems = {
    u"Blank"_s,     u"DingDong"_s, u"DingDong2"_s, u"GoodMorning"_s, u"GoodEvening"_s, u"GoodAfternoon"_s,
    u"TheTimeIs"_s, u"Hour"_s,     u"Minutes"_s,   u"AM"_s,          u"PM"_s,          u"14"_s,
    u"15"_s};

// The real player, noting how much of each clip reaches the output.
class PlayedGraph final : public FilterGraph {
public:
    PlayedGraph(const QString& output, std::shared_ptr<Station::PlayedClip> clip)
        : graph_(std::make_shared<GstGraph>(output))
        , clip_(std::move(clip)) {}
    bool RenderFile(const QString& path, QString* error) override {
        clip_->path = path;
        if (!graph_->RenderFile(path, error))
            return false;
        clip_->seconds = graph_->Duration().value_or(0);
        clip_->feed = graph_->feed();
        return true;
    }
    bool Run() override { return graph_->Run(); }
    bool Stop() override { return graph_->Stop(); }
    bool PlaybackFailed() const override { return graph_->PlaybackFailed(); }
    bool StillSounding() const override { return graph_->StillSounding(); }
    bool SetVolume(int hundredthsOfDb) override { return graph_->SetVolume(hundredthsOfDb); }
    std::optional<double> Duration() const override { return graph_->Duration(); }
    std::optional<double> CurrentPosition() const override { return graph_->CurrentPosition(); }
    bool SetCurrentPosition(double seconds) override { return graph_->SetCurrentPosition(seconds); }
    bool SetRate(double rate) override { return graph_->SetRate(rate); }

private:
    std::shared_ptr<GstGraph> graph_; // it starts from the event loop, through a weak reference
    std::shared_ptr<Station::PlayedClip> clip_;
};

struct PlayedGraphs : GraphFactory {
    explicit PlayedGraphs(Station& s)
        : station(s) {}
    std::shared_ptr<FilterGraph> CreateGraph() override {
        station.played.push_back(std::make_shared<Station::PlayedClip>());
        return std::make_shared<PlayedGraph>(station.output, station.played.back());
    }
    Station& station;
};

} // namespace

bool writeToneVoice(const QString& folder, QString* error) {
    QDir().mkpath(folder);
    for (int i = 0; i < ToneStems.size(); ++i) {
        const QString wav = folder + ToneStems[i] + u".wav"_s;
        // No two equally long: a fresh clip must never read as the last one played out.
        if (!runLaunchLine(
                u"audiotestsrc wave=sine freq=%1 samplesperbuffer=%2 num-buffers=1 ! "
                "audio/x-raw,rate=44100,channels=1,format=S16LE ! wavenc ! filesink location=\"%3\""_s
                    .arg(400 + 50 * i)
                    .arg(44100 * (24 + 2 * i) / 1000)
                    .arg(wav),
                error))
            return false;
        const QString mp3 = folder + ToneStems[i] + u".mp3"_s;
        if (QProcess::execute(u"lame"_s, {u"--quiet"_s, u"--cbr"_s, u"-b"_s, u"64"_s, wav, mp3}) != 0) {
            *error = u"lame (Debian package lame) could not make "_s + mp3;
            return false;
        }
    }
    return true;
}

Station::Station(Options options)
    : output(options.output) {
    QStringList settings = options.settings;
    if (!options.output.isEmpty()) {
        QString error;
        if (!initMediaRuntime(&error) || !writeToneVoice(voiceFolder(), &error))
            qFatal("no voice for the real player: %s", qPrintable(error));
        settings << u"OPTION3=True"_s << u"OPTION7=False"_s;
        real_ = std::make_unique<PlayedGraphs>(*this);
    }
    dir.write(u"Tempovox.ini"_s, (u"[SETTINGS]\n"_s + settings.join(u'\n') + u'\n').toUtf8());
    window_ = std::make_unique<Form1>(Form1Services{
        .clock = clock,
        .graphs = real_ ? *real_ : static_cast<GraphFactory&>(fakes),
        .dialogs = dialogs,
        .createLink = [this](QString*) -> std::unique_ptr<Link> {
            auto made = std::make_unique<FakeLink>();
            link = made.get();
            return made;
        },
        .profilePath = dir.file(u"Tempovox.ini"_s),
        .programFolder = dir.path(),
        .programName = u"tempovox"_s,
        .voicesHelp = u"file:///voices.md"_s,
        .aboutFirstPage = QUrl(u"file:///README.md"_s),
        .aboutSecondPage = QUrl(u"file:///voices.md"_s),
        .exitProcess = [this](int status) { exits << status; },
        .txTimeoutSeconds = options.txTimeoutSeconds,
    });
    window_->Form_Load();
    // With fake graphs the test runs every tick itself.
    if (!real_) {
        for (QTimer* timer : {&window_->Timer1, &window_->Timer3, &window_->Timer5, &window_->Beacon8})
            timer->stop();
    }
}

Station::Station()
    : Station(Options{}) {}

Station::~Station() = default;

QString Station::voiceFolder() const {
    return dir.path() + u"/WavFiles/US_Kate/"_s;
}

QStringList Station::playOut() {
    QStringList heard;
    levels.clear();
    const qsizetype firstCall = link->calls.size();
    const FakeGraph* last = nullptr;
    for (int tick = 0; tick < 40; ++tick) {
        if (const auto graph = fakes.current(); graph && graph.get() != last) {
            if (graph->running) {
                heard << QFileInfo(graph->path).fileName();
                levels.append({graph->volume, graph->rate});
            }
            last = graph.get();
            graph->position = graph->duration;
        }
        window_->Timer1_Timer();
        window_->Beacon8_Timer();
        if (!window_->Timer2.isActive())
            break;
        window_->Timer2_Timer();
    }
    const QStringList calls = link->calls.mid(firstCall);
    const qsizetype release = calls.indexOf(u"SetPtt 0"_s, calls.indexOf(u"SetPtt 1"_s));
    releasedEarly_ = release >= 0 && calls.indexOf(u"SetPtt 1"_s, release) >= 0;
    return heard;
}

void Station::step() {
    if (const auto graph = fakes.current())
        graph->position = graph->duration;
    window_->Timer1_Timer();
    window_->Timer2_Timer();
}

QStringList Station::announce() {
    window_->hora_rf_Click();
    return playOut();
}

void Station::tickAt(const QTime& time) {
    clock.time = QDateTime(clock.time.date(), time);
    window_->Timer3_Timer();
}

bool Station::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

QStringList Station::heardInFull() {
    QStringList heard;
    for (; heardUpTo_ < played.size(); ++heardUpTo_) {
        const PlayedClip& clip = *played[heardUpTo_];
        if (clip.feed && clip.feed->taken >= clip.seconds * 1e9 - 2e6)
            heard << QFileInfo(clip.path).fileName();
    }
    return heard;
}
