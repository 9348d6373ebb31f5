// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "EndToEndVoice.h"
#include "TempDir.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace e2e {

// Something the test saw or did, timed on the run's monotonic clock.
struct Event {
    enum class Kind { Sent, Line, Audio, LinkClosed };
    Kind kind;
    qint64 ms;
    QByteArray line;       // Sent, Line: without the line end
    qint64 audioBegin = 0; // Audio: the chunk's place in the recording, in bytes
    qint64 audioEnd = 0;
    qint64 us = 0; // the same moment as ms, in microseconds
};

// A point in a run's history: what follows it belongs to what the test did next.
struct Mark {
    size_t event = 0;
    qint64 ms = 0;
};

struct RunOptions {
    // The program's local time when it starts, "yyyy-MM-dd hh:mm:ss" in UTC; it then runs on
    // in real time. Fixed times give fixed hour and minute clips. Empty: the real clock.
    QString fakeStart;
    // [SETTINGS] keys besides the voice folder, the language and the format.
    QList<std::pair<QString, QString>> settings;
    bool mp3 = false;
    // Instead of a fixed start, the program's clock runs this many whole seconds ahead of the real
    // one, so that its second boundaries fall on the real ones.
    std::optional<qint64> fakeOffsetSeconds;
    // The main window on $DISPLAY instead of --headless.
    bool window = false;
    // Another program in Tempovox's place, started with these arguments in the same surroundings.
    QString program;
    QStringList arguments;
    // Further sections of the settings file, as written.
    QByteArray extraSettings;
};

// `tempovox --headless` with settings, voice and runtime folders of its own, its audio recorded
// in real time through a named pipe and its link socket read by a peer; both are read by one
// thread, the link first, so that a line sent before some audio is also seen before it.
class TempovoxRun {
public:
    explicit TempovoxRun(RunOptions options);
    ~TempovoxRun();
    TempovoxRun(const TempovoxRun&) = delete;
    TempovoxRun& operator=(const TempovoxRun&) = delete;

    // Writes the voice and the settings, starts the program, connects and waits for its INFO.
    bool start(QString* error);

    void send(const QByteArray& line);
    void terminate(); // SIGTERM
    Mark mark() const;
    qint64 nowMs() const { return nowUs() / 1000; }
    qint64 nowUs() const { return clock_.nsecsElapsed() / 1000; }
    qint64 processId() const { return process_.processId(); }
    qint64 startedMs() const { return startedUs_ / 1000; }
    qint64 startedUs() const { return startedUs_; }
    // When the program's link socket first took a connection.
    qint64 listeningUs() const { return listeningUs_; }
    // When the program first answered on its link: its event loop and timers were running.
    qint64 readyMs() const { return readyMs_; }

    // Waits at most timeoutMs and tells whether the condition came true.
    bool waitFor(const std::function<bool()>& condition, int timeoutMs);
    std::vector<Event> eventsSince(const Mark& from) const;
    QStringList linesSince(const Mark& from) const;
    QString logSince(const Mark& from) const;
    QStringList errorLines() const;          // the program's stderr
    QByteArray audio(qint64 from = 0) const; // what was recorded so far, from byte `from` on

    QString runtimeFolder() const { return dir_.file(QStringLiteral("runtime")); }
    QString voiceFolder() const { return dir_.file(QStringLiteral("voice")) + QLatin1Char('/'); }
    static QString programFolder();

private:
    bool connectLink(QString* error);
    void monitor();
    void addEvent(Event::Kind kind, QByteArray line);

    RunOptions options_;
    TempDir dir_;
    QProcess process_;
    QElapsedTimer clock_;
    qint64 startedUs_ = 0;
    qint64 listeningUs_ = 0;
    qint64 readyMs_ = 0;
    int link_ = -1;
    int pipeRead_ = -1;
    int pipeKeep_ = -1; // a writer of our own: the pipe never reads as ended between clips

    mutable std::mutex mutex_;
    std::vector<Event> events_;
    QByteArray audio_;
    std::atomic<bool> stop_{false};
    std::thread monitor_;
};

} // namespace e2e
