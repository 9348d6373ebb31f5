#include "FaultStation.h"

#include "Controls.h"
#include "GstGraph.h"
#include "GstLaunch.h"
#include "VoiceLibrary.h"
#include "ui_Form1.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace faults {

namespace {

const auto Epoch = std::chrono::steady_clock::now();
const QDate Monday(2026, 1, 5);
// Not a trigger time: only the clock starter moves the clock onto one.
const QTime Between(14, 15, 30);
const QString DtmfCode = QStringLiteral("123");
constexpr int ProbeMs = 50;

struct Tone {
    QString stem;
    int ms;
};

// Every clip an announcement at 14:15 may ask for, fallback included. No two are equally long:
// the program takes a clip whose length reads like the last position for that clip played out.
const QList<Tone>& tones() {
    static const QList<Tone> list = [] {
        using namespace VoiceLibrary;
        const QString stems[] = {Blank,
                                 DingDong,
                                 DingDong2,
                                 GoodMorning,
                                 GoodEvening,
                                 GoodAfternoon,
                                 TheTimeIs,
                                 Hour,
                                 Minutes,
                                 QStringLiteral("AM"),
                                 QStringLiteral("PM"),
                                 QStringLiteral("14"),
                                 QStringLiteral("15")};
        QList<Tone> made;
        int ms = 24;
        for (const QString& stem : stems) {
            made.append({stem, ms});
            ms += 2;
        }
        return made;
    }();
    return list;
}

// WAV as the voices ship (mono, 16 bit, 44.1 kHz) and MP3 made from it by lame, as they ship
// too, with the LAME tag that gives the exact length. Made once per process.
QString voiceCache(QString* error) {
    static TempDir cache;
    static bool made = false;
    if (made)
        return cache.path();
    for (qsizetype i = 0; i < tones().size(); ++i) {
        const Tone& tone = tones()[i];
        const QString wav = cache.file(tone.stem + QStringLiteral(".wav"));
        const int samples = 44100 * tone.ms / 1000;
        if (!runLaunchLine(QStringLiteral("audiotestsrc wave=sine freq=%1 samplesperbuffer=%2 num-buffers=1 "
                                          "! audio/x-raw,rate=44100,channels=1,format=S16LE ! wavenc "
                                          "! filesink location=\"%3\"")
                               .arg(400 + 50 * i)
                               .arg(samples)
                               .arg(wav),
                           error))
            return {};
        QProcess lame;
        lame.setProcessChannelMode(QProcess::MergedChannels);
        lame.start(QStringLiteral("lame"),
                   {QStringLiteral("--quiet"), QStringLiteral("--cbr"), QStringLiteral("-b"),
                    QStringLiteral("64"), wav, cache.file(tone.stem + QStringLiteral(".mp3"))});
        if (!lame.waitForFinished(20000) || lame.exitStatus() != QProcess::NormalExit ||
            lame.exitCode() != 0) {
            *error = QStringLiteral("lame (Debian package lame) failed: ") + lame.errorString() +
                     QLatin1Char(' ') + QString::fromLocal8Bit(lame.readAll());
            return {};
        }
    }
    made = true;
    return cache.path();
}

QString extensionOf(Format format) {
    return format == Format::Wav ? QStringLiteral(".wav") : QStringLiteral(".mp3");
}

void onHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
    auto* log = static_cast<ClipLog*>(data);
    const qint64 us = GST_BUFFER_DURATION_IS_VALID(buffer) ? qint64(GST_BUFFER_DURATION(buffer) / 1000) : 0;
    log->playedUs += us;
    // The output takes a buffer at the moment it is due: it has been heard a buffer later.
    log->audioEndMs = nowMs() + us / 1000;
}

// A real graph that logs its clip and what of it reached the output.
class RecordedGraph final : public FilterGraph {
public:
    RecordedGraph(const QString& output, std::shared_ptr<ClipLog> log,
                  const std::function<void(const ClipLog&)>& afterLoad)
        : graph_(std::make_shared<GstGraph>(output))
        , log_(std::move(log))
        , afterLoad_(afterLoad) {}

    bool RenderFile(const QString& path, QString* error) override {
        log_->path = path;
        log_->loadMs = nowMs();
        if (!graph_->RenderFile(path, error))
            return false;
        log_->loaded = true;
        log_->seconds = graph_->Duration().value_or(0.0);
        if (GstElement* sink = gst_bin_get_by_name(GST_BIN(graph_->pipeline()), "out")) {
            g_signal_connect(sink, "handoff", G_CALLBACK(&onHandoff), log_.get());
            gst_object_unref(sink);
        }
        // A copy: the hook may replace itself.
        if (const auto hook = afterLoad_)
            hook(*log_);
        return true;
    }
    bool Run() override { return graph_->Run(); }
    bool Stop() override { return graph_->Stop(); }
    bool PlaybackFailed() const override { return graph_->PlaybackFailed(); }
    bool SetVolume(int hundredthsOfDb) override { return graph_->SetVolume(hundredthsOfDb); }
    std::optional<double> Duration() const override { return graph_->Duration(); }
    std::optional<double> CurrentPosition() const override { return graph_->CurrentPosition(); }
    bool SetCurrentPosition(double seconds) override { return graph_->SetCurrentPosition(seconds); }
    bool SetRate(double rate) override { return graph_->SetRate(rate); }

private:
    std::shared_ptr<GstGraph> graph_;
    std::shared_ptr<ClipLog> log_;                         // outlives the pipeline, whose thread writes to it
    const std::function<void(const ClipLog&)>& afterLoad_; // the factory's, which outlives it
};

} // namespace

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Epoch)
        .count();
}

const char* nameOf(Chain chain) {
    return chain == Chain::Long ? "Long" : "Short";
}

const char* nameOf(Format format) {
    return format == Format::Wav ? "Wav" : "Mp3";
}

const char* nameOf(Starter starter) {
    switch (starter) {
    case Starter::Button:
        return "Button";
    case Starter::Clock:
        return "Clock";
    case Starter::Dtmf:
        return "Dtmf";
    }
    return "?";
}

QString ClipLog::stem() const {
    return path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
}

bool ClipLog::heard() const {
    return playedUs > 5000;
}

bool ClipLog::heardInFull() const {
    return loaded && double(playedUs) >= seconds * 1e6 - 2000.0;
}

std::shared_ptr<FilterGraph> RecordingGraphs::CreateGraph() {
    auto log = std::make_shared<ClipLog>();
    clips.push_back(log);
    return std::make_shared<RecordedGraph>(output, log, afterLoad);
}

bool TimedLink::SetPtt(bool on) {
    changes.push_back({nowMs(), on});
    return FakeLink::SetPtt(on);
}

bool WatchedDialogs::askYesNo(QWidget* owner, const QString& text, const QString& title, DefaultButton def) {
    keyedWhenShown.push_back(keyed && keyed());
    return FakeDialogs::askYesNo(owner, text, title, def);
}

void WatchedDialogs::showError(QWidget* owner, const QString& text, const QString& title,
                               const QString& detail) {
    keyedWhenShown.push_back(keyed && keyed());
    FakeDialogs::showError(owner, text, title, detail);
}

QStringList Announcement::stems() const {
    QStringList names;
    for (const Clip& clip : heard)
        names << clip.stem;
    return names;
}

QString Announcement::describe() const {
    QStringList parts;
    for (const Clip& clip : heard)
        parts << (clip.full ? clip.stem : clip.stem + QStringLiteral("(part)"));
    QString text = parts.isEmpty() ? QStringLiteral("nothing heard") : parts.join(QLatin1Char(' '));
    if (failedLoad)
        text += QStringLiteral("; failed load of ") + failedLoad->path;
    for (const QString& error : errors)
        text += QStringLiteral("; told: ") + error;
    return text;
}

FaultStation::FaultStation(Chain chain, Format format)
    : chain_(chain)
    , format_(format) {
    clock.time = QDateTime(Monday, Between);
    dialogs.keyed = [this] {
        return keyed();
    };
}

FaultStation::~FaultStation() = default;

QString FaultStation::voiceFolder() const {
    return dir_.path() + VoiceLibrary::EnglishFolder;
}

QString FaultStation::clipFile(const QString& stem, Format format) const {
    return voiceFolder() + stem + extensionOf(format);
}

QStringList FaultStation::chain() const {
    using namespace VoiceLibrary;
    // 14:15 in the 24-hour form; the greeting of 12 to 17 h; AM/PM on the long chain only.
    if (chain_ == Chain::Long)
        return {GoodEvening,          TheTimeIs, QStringLiteral("14"), Hour,
                QStringLiteral("15"), Minutes,   QStringLiteral("PM")};
    return {DingDong, TheTimeIs, QStringLiteral("14"), QStringLiteral("15"), Blank};
}

bool FaultStation::restoreClip(const QString& stem, Format format) {
    QString error;
    const QString name = stem + extensionOf(format);
    const QString target = voiceFolder() + name;
    QFile::remove(target);
    const bool restored = QFile::copy(voiceCache(&error) + QLatin1Char('/') + name, target);
    excuseLateness();
    return restored;
}

bool FaultStation::restoreVoice() {
    QDir().mkpath(voiceFolder());
    for (const Tone& tone : tones()) {
        for (const Format format : {Format::Wav, Format::Mp3}) {
            if (!restoreClip(tone.stem, format))
                return false;
        }
    }
    return true;
}

void FaultStation::excuseLateness() {
    if (!probe_.isActive())
        return;
    probeDueMs_ = nowMs() + ProbeMs;
    probe_.start();
}

bool FaultStation::start(QString* error) {
    if (voiceCache(error).isEmpty())
        return false;
    if (!restoreVoice()) {
        *error = QStringLiteral("cannot write the voice into ") + voiceFolder();
        return false;
    }
    const bool wav = format_ == Format::Wav;
    const bool longChain = chain_ == Chain::Long;
    const auto flag = [](bool on) {
        return on ? QByteArray("1") : QByteArray("0");
    };
    // English in WAV, or "Other" in MP3 (the only way to MP3 in a shipped folder); a greeting
    // and AM/PM on the long chain, a chime and the blank ending on the short one.
    const QByteArray settings = "[SETTINGS]\nOPTION1=0\nOPTION2=1\nOPTION3=" + flag(wav) +
                                "\nOPTION4=0\nOPTION7=0\nOPTION8=0\nOPTION10=" + flag(!wav) +
                                "\nOPTIONWAV=" + flag(wav) + "\nOPTIONMP3=" + flag(!wav) +
                                "\nOPTION5=" + flag(!longChain) + "\nOPTION6=0\nOPTION9=" + flag(longChain) +
                                "\nCHECK1=" + flag(longChain) + "\nCHECK2=1\nAMPM=" + flag(longChain) +
                                "\nONHOUR=0\nQUARTERHOUR=1\nHALFHOUR=0\nDTMFTIME=" + DtmfCode.toUtf8() + "\n";
    dir_.write(QStringLiteral("Tempovox.ini"), settings);

    window_ = std::make_unique<Form1>(Form1Services{
        .clock = clock,
        .graphs = graphs,
        .dialogs = dialogs,
        .createLink = [this](QString*) -> std::unique_ptr<Link> {
            auto made = std::make_unique<TimedLink>();
            link_ = made.get();
            return made;
        },
        .profilePath = dir_.file(QStringLiteral("Tempovox.ini")),
        .programFolder = dir_.path(),
        .programName = QStringLiteral("tempovox"),
        .voicesHelp = QStringLiteral("file:///opt/tempovox/docs/voices.md"),
        .aboutFirstPage = QUrl(),
        .aboutSecondPage = QUrl(),
        .exitProcess = [](int status) { ADD_FAILURE() << "the program asked to end with status " << status; },
        // No time-out: every release seen here is the program's own doing.
        .txTimeoutSeconds = 0,
    });
    if (!window_->Form_Load()) {
        *error = QStringLiteral("the window did not load");
        return false;
    }
    probe_.setTimerType(Qt::PreciseTimer);
    probe_.setInterval(ProbeMs);
    QObject::connect(&probe_, &QTimer::timeout, [this] { noteProbe(); });
    probeDueMs_ = nowMs() + ProbeMs;
    probe_.start();
    return true;
}

void FaultStation::noteProbe() {
    const qint64 now = nowMs();
    worstLatenessMs_ = std::max(worstLatenessMs_, now - probeDueMs_);
    probeDueMs_ = now + ProbeMs;
}

void FaultStation::selectVoice() {
    Ui::Form1& ui = window_->controls();
    const bool wav = format_ == Format::Wav;
    setOptionSelected(wav ? ui.Option3 : ui.Option10, true);
    setOptionSelected(wav ? ui.OptionWAV : ui.OptionMP3, true);
    window_->Timer5_Timer();
}

void FaultStation::startAnnouncement(Starter starter) {
    switch (starter) {
    case Starter::Button:
        window_->controls().hora_rf->click();
        break;
    case Starter::Dtmf:
        link_->sendDtmf(DtmfCode);
        break;
    case Starter::Clock:
        // The tick that finds the quarter-hour; a minute and more after the last one, so that
        // the scheduler does not take it for the same trigger seen twice.
        clock.time = QDateTime(Monday, QTime(14, 15, 0));
        clock.monotonic += 61000;
        window_->Timer3_Timer();
        clock.time = QDateTime(Monday, QTime(14, 15, 1));
        break;
    }
}

bool FaultStation::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    if (condition())
        return true;
    // A loop of its own rather than polling with sleeps: the window's timers keep their times.
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return condition();
}

bool FaultStation::idle() const {
    return !window_->Timer2.isActive() && window_->announcement.AnnounceBusy == 0;
}

bool FaultStation::quiet() const {
    return idle() && !keyed();
}

Mark FaultStation::mark() const {
    return Mark{graphs.clips.size(), link_->changes.size(), size_t(dialogs.shown.size()), nowMs()};
}

Announcement FaultStation::since(const Mark& from, qint64 releaseFrom) const {
    Announcement a;
    for (size_t i = from.clip; i < graphs.clips.size(); ++i) {
        const ClipLog& clip = *graphs.clips[i];
        if (!clip.loaded && !a.failedLoad)
            a.failedLoad = &clip;
        if (clip.heard())
            a.heard.push_back({clip.stem(), clip.heardInFull()});
        a.lastAudioEndMs = std::max(a.lastAudioEndMs, clip.audioEndMs.load());
    }
    for (qsizetype i = qsizetype(from.dialog); i < dialogs.shown.size(); ++i) {
        const QStringList parts = dialogs.shown[i].split(QLatin1Char('|'));
        if (parts.first() == QLatin1String("error")) {
            a.errors << parts.mid(3).join(QLatin1Char('|'));
            a.toldWhileKeyed = a.toldWhileKeyed || dialogs.keyedWhenShown[size_t(i)];
        }
    }
    for (size_t i = from.ptt; i < link_->changes.size(); ++i) {
        const TimedLink::Change& change = link_->changes[i];
        if (change.on)
            a.keyed = true;
        if (!a.releaseMs && !change.on && change.ms >= releaseFrom)
            a.releaseMs = change.ms;
        else if (!a.releaseMs && !change.on && a.keyed)
            a.releasedEarly = true;
        else if (a.releaseMs && change.on)
            a.keyedAfterRelease = true;
    }
    return a;
}

} // namespace faults
