// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioOutput.h"
#include "Fakes.h"
#include "Form1.h"
#include "TempDir.h"
#include "ui_Form1.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

// The main window in this process, wired as the program wires it, with a clock, a link and
// message boxes of the test's own. Clips play on fake graphs that the test plays out tick by
// tick, or, given an output, on the real player in real time from a voice of short tones.
class Station {
public:
    struct Options {
        QStringList settings; // [SETTINGS] lines, "KEY=value"
        QString output;       // a GStreamer sink for the real player; empty: fake graphs
        int txTimeoutSeconds = 0;
    };
    Station();
    explicit Station(Options options);
    ~Station();

    Form1& window() { return *window_; }
    Ui::Form1& ui() { return window_->controls(); }
    QString voiceFolder() const; // the English voice, where the real player's tones are

    // Fake graphs: plays the running announcement out, one tick of the sequencer per clip with
    // the watchdog looking in between, and returns the clips heard ("GoodEvening.wav", ...).
    QStringList playOut();
    // Fake graphs: the playing clip ends, and one tick of the progress refresh and the sequencer.
    void step();
    // The button, then playOut.
    QStringList announce();
    // The clock at `time` on the same day, and one tick of the scheduler.
    void tickAt(const QTime& time);
    // Real player: runs the event loop until the condition holds, at most timeoutMs.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
    // Real player: the clips heard in full since the last call, in order.
    QStringList heardInFull();
    // Fake graphs: the volume and rate each clip heard in the last playOut played at.
    QList<std::pair<int, double>> levels;
    // In the last playOut: released after a key, then keyed again.
    bool releasedEarly() const { return releasedEarly_; }
    // An announcement runs: the first after start-up keys only with its first clip, a tick later.
    bool announcing() { return window_->Timer2.isActive() || link->keyed; }

    FakeClock clock;
    FakeDialogs dialogs;
    FakeGraphFactory fakes;
    FakeLink* link = nullptr;
    QList<int> exits; // what the program asked to exit with
    TempDir dir;      // the program's folder, with Tempovox.ini
    QString output;   // real player: the output of the clips loaded from now on

    // Real player: every clip loaded, and how much of it reached the output.
    struct PlayedClip {
        QString path;
        double seconds = 0;
        std::shared_ptr<const ClipFeed> feed; // how much of it the output took
    };
    std::vector<std::shared_ptr<PlayedClip>> played;

private:
    std::unique_ptr<GraphFactory> real_;
    std::unique_ptr<Form1> window_;
    size_t heardUpTo_ = 0;
    bool releasedEarly_ = false;
};

// Every stem an announcement at 14:15 may ask for, as tones of distinct lengths in `folder`,
// WAV and MP3 as the voices ship.
bool writeToneVoice(const QString& folder, QString* error);
