#pragma once

#include "FakeClock.h"
#include "FakeDialogs.h"
#include "FakeLink.h"
#include "FilterGraph.h"
#include "Form1.h"
#include "TempDir.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The main window in this process with the real GStreamer player on a fake output that plays in
// real time, and a link, clock and dialogs of the test's own. The voice is a set of short tones
// in the program's English folder. Everything the window does runs on the test's event loop.
namespace faults {

// Milliseconds on one monotonic clock; GStreamer's streaming threads read it too.
qint64 nowMs();

enum class Chain { Long, Short };
enum class Format { Wav, Mp3 };
enum class Starter { Button, Clock, Dtmf };

const char* nameOf(Chain chain);
const char* nameOf(Format format);
const char* nameOf(Starter starter);

// Plays in real time and lets the test see every buffer that reaches it.
inline const QString GoodOutput = QStringLiteral("fakesink name=out sync=true signal-handoffs=true");

// One clip the program asked the player for, and how much of it reached the output.
struct ClipLog {
    QString path;
    qint64 loadMs = 0; // when the load began
    bool loaded = false;
    double seconds = 0.0;               // the duration the player read
    std::atomic<qint64> playedUs{0};    // audio that reached the output
    std::atomic<qint64> audioEndMs{-1}; // when the last of it had been played

    QString stem() const;
    bool heard() const; // more than a stray buffer
    bool heardInFull() const;
};

// Real GStreamer graphs on the output the test names; every clip asked for is logged.
class RecordingGraphs : public GraphFactory {
public:
    std::shared_ptr<FilterGraph> CreateGraph() override;

    QString output = GoodOutput; // for the graphs made from now on
    std::vector<std::shared_ptr<ClipLog>> clips;
    // Called as soon as a clip has loaded, inside the program's call: what the test does here
    // happens at a known point of the chain however busy the machine is.
    std::function<void(const ClipLog&)> afterLoad;
};

// Notes when the transmitter was keyed and released.
class TimedLink : public FakeLink {
public:
    struct Change {
        qint64 ms;
        bool on;
    };
    bool SetPtt(bool on) override;
    std::vector<Change> changes;
};

// Notes whether the transmitter was still keyed when the operator was told of a failure.
class WatchedDialogs : public FakeDialogs {
public:
    bool askYesNo(QWidget* owner, const QString& text, const QString& title, DefaultButton def) override;
    void showError(QWidget* owner, const QString& text, const QString& title, const QString& detail) override;

    std::function<bool()> keyed;
    std::vector<bool> keyedWhenShown; // one for each entry of `shown`
};

// Where the station's history stood at one moment: what follows belongs to what came next.
struct Mark {
    size_t clip = 0, ptt = 0, dialog = 0;
    qint64 ms = 0;
};

// One announcement as the output, the link and the operator saw it.
struct Announcement {
    struct Clip {
        QString stem;
        bool full;
    };
    std::vector<Clip> heard;
    const ClipLog* failedLoad = nullptr; // the first clip that did not load
    QStringList errors;                  // the details of the messages shown to the operator
    bool toldWhileKeyed = false;
    bool keyed = false;              // the transmitter was keyed at all
    bool releasedEarly = false;      // released after keying, before the release looked for
    std::optional<qint64> releaseMs; // the first release from the moment asked for on
    bool keyedAfterRelease = false;
    qint64 lastAudioEndMs = -1;

    QStringList stems() const;
    QString describe() const;
};

class FaultStation {
public:
    FaultStation(Chain chain, Format format);
    ~FaultStation();
    FaultStation(const FaultStation&) = delete;
    FaultStation& operator=(const FaultStation&) = delete;

    // Writes the voice and the settings, then loads the window as the program starts it.
    bool start(QString* error);

    // The stems of one announcement at 14:15 on this station's chain, in the order heard.
    QStringList chain() const;
    QString clipFile(const QString& stem, Format format) const;
    QString voiceFolder() const;
    // Put clips back as they were made. The test's own file work holds the event loop; the
    // lateness measured afterwards starts afresh, so that it stays the program's.
    bool restoreClip(const QString& stem, Format format);
    bool restoreVoice();
    void excuseLateness();

    // The language and format the station runs with; a failed load changes them.
    void selectVoice();
    void startAnnouncement(Starter starter);

    // Runs the event loop until the condition holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs);
    // The sequencer has stopped and no announcement has clips left to load.
    bool idle() const;
    // Idle, and the transmitter released.
    bool quiet() const;
    bool keyed() const { return link_ && link_->keyed; }

    Mark mark() const;
    // What happened since the mark; the release is looked for from `releaseFrom` on.
    Announcement since(const Mark& from, qint64 releaseFrom) const;
    // The clip loaded last, if any.
    const ClipLog* lastClip() const { return graphs.clips.empty() ? nullptr : graphs.clips.back().get(); }

    Form1& window() { return *window_; }
    // How much later than due a timer on the window's event loop has fired, worst so far: the
    // clock's tick would have been as late.
    qint64 worstTimerLatenessMs() const { return worstLatenessMs_; }

    RecordingGraphs graphs;
    FakeClock clock;
    WatchedDialogs dialogs;

private:
    void noteProbe();

    Chain chain_;
    Format format_;
    TempDir dir_;
    TimedLink* link_ = nullptr;
    std::unique_ptr<Form1> window_;
    QTimer probe_;
    qint64 probeDueMs_ = 0;
    qint64 worstLatenessMs_ = 0;
};

} // namespace faults
