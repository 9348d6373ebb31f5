// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Link.h"
#include "LinkSettings.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct s_rig; // hamlib's RIG; its header stays out of everything that includes this one

// Says when a call to the rig starts failing and when it works again; while it keeps failing,
// one line per interval with the count, so a dead rig polled once a second cannot flood the log.
class FailureReport {
public:
    FailureReport(QString what, qint64 intervalMs, std::function<qint64()> monotonicMs);

    // The line to log now, if any.
    std::optional<QString> failed(const QString& reason);
    std::optional<QString> succeeded();

private:
    QString what_;
    qint64 intervalMs_;
    std::function<qint64()> monotonicMs_;
    std::optional<qint64> lastReportMs_; // of the last failure line
    int unreported_ = 0;                 // failures since that line
    bool failing_ = false;
    bool reportedThisTime_ = false; // the current run of failures has had its line
};

// The link through libhamlib: keys the transmitter with rig_set_ptt on the configured PTT line
// and reads the busy state from the rig's squelch (rig_get_dcd), a serial status line, or a
// source outside hamlib such as the receiver's audio level. The rig never sends DTMF or closing
// events; whoever decodes the receiver audio raises those.
//
// The transmitter is released in the destructor and, for the immediate ends of the process,
// from a std::at_quick_exit handler. Nothing in the process can release it after a SIGKILL or a
// crash: `tempovox --release` does it from outside.
class HamlibLink final : public Link {
    Q_OBJECT
public:
    struct Timing {
        // How long one call may wait for the rig; hamlib retries are switched off, so this
        // bounds every call, even to a rigctld that has stopped answering.
        int replyTimeoutMs = 500;
        // After the connection to the rig was lost, how often to try opening it again; the
        // calls in between fail at once.
        int reopenIntervalMs = 5000;
        // While the rig keeps failing, one log line per this interval.
        int reportIntervalMs = 60000;
    };

    // What LinkBusy answers with DCD_TYPE=AUDIO; std::nullopt when the state is unknown.
    using BusySource = std::function<std::optional<bool>()>;

    // Opens the rig, releases the transmitter and, when the busy state comes from hamlib, reads
    // it once, so that a wrong port or line shows at start. Returns nullptr and sets *error when
    // any of that fails.
    static std::unique_ptr<HamlibLink> open(const LinkSettings& settings, QString* error, Timing timing);
    static std::unique_ptr<HamlibLink> open(const LinkSettings& settings, QString* error) {
        return open(settings, error, Timing{});
    }
    ~HamlibLink() override;

    bool SetPtt(bool on) override;
    std::optional<bool> LinkBusy() override;
    const LinkInfo& InfoObject() const override;
    bool AcknowledgeClosing(int code) override;

    // True when DCD_TYPE=AUDIO: until a source is set, the busy state reads as unknown.
    bool busyFromAudio() const { return busyLine_ == BusyLine::Audio; }
    void setBusySource(BusySource source) { busySource_ = std::move(source); }
    // Keeps the station's lock (a descriptor) for as long as the link lives.
    void holdLock(int fd) { lockFd_ = fd; }
    // Told of every key and release, so the receiver stops listening to our own transmission.
    void setTransmitObserver(std::function<void(bool)> observer) { transmitObserver_ = std::move(observer); }

private:
    class Info final : public LinkInfo {
    public:
        QString InfoText() const override { return text; }
        QString text;
    };

    HamlibLink(s_rig* rig, const QByteArray& rigPath, const LinkSettings& settings, Timing timing);

    // Runs one hamlib call. A lost connection is opened again, at once and then at most once per
    // reopen interval, and the call repeated once after a successful reopen. A network
    // connection that timed out is closed, to be opened afresh after the interval.
    int call(const std::function<int(s_rig*)>& operation);
    void closeRig(bool withoutWaiting);
    bool reopen();
    void release();
    static void releaseAllAtQuickExit();

    s_rig* rig_;
    QByteArray rigPath_; // as configured; empty for a rig without a port
    bool open_ = true;   // false after the connection was lost, until a reopen succeeds
    qint64 lastOpenAttemptMs_ = 0;
    PttLine pttLine_;
    BusyLine busyLine_;
    Timing timing_;
    Info info_;
    BusySource busySource_;
    std::function<void(bool)> transmitObserver_;
    FailureReport pttReport_;
    FailureReport busyReport_;
    int lockFd_ = -1;

    // Every live instance, for the quick_exit handler.
    HamlibLink* nextLive_ = nullptr;
    HamlibLink* prevLive_ = nullptr;
};
