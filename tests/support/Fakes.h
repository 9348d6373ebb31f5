// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"
#include "Dialogs.h"
#include "FilterGraph.h"
#include "Link.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>
#include <ostream>
#include <vector>

// Doubles of the platform seams. Each records what it was asked, in order.

// Stands still until the test sets or advances it; setting the wall clock alone is a clock step.
struct FakeClock : Clock {
    QDateTime now() const override { return time; }
    qint64 monotonicMs() const override { return monotonic; }
    void advanceMs(qint64 ms) {
        time = time.addMSecs(ms);
        monotonic += ms;
    }
    QDateTime time{QDate(2026, 1, 5), QTime(14, 15, 30)};
    qint64 monotonic = 0;
};

struct FakeDialogs : Dialogs {
    bool askYesNo(QWidget*, const QString& text, const QString&, DefaultButton def) override {
        shown << text + (def == DefaultButton::Yes ? QStringLiteral(" [Yes]") : QStringLiteral(" [No]"));
        return answer;
    }
    void showError(QWidget*, const QString&, const QString&, const QString& detail) override {
        shown << detail;
    }
    bool answer = true;
    QStringList shown;
};

// "SetPtt 1", "AcknowledgeClosing 0", ...; the test raises the link's events.
struct FakeLink : Link, LinkInfo {
    bool SetPtt(bool on) override {
        calls << QStringLiteral("SetPtt %1").arg(int(on));
        keyed = on;
        return true;
    }
    std::optional<bool> LinkBusy() override { return busy; }
    const LinkInfo& InfoObject() const override { return *this; }
    QString InfoText() const override { return QStringLiteral("fake link"); }
    bool AcknowledgeClosing(int code) override {
        calls << QStringLiteral("AcknowledgeClosing %1").arg(code);
        return true;
    }
    void sendDtmf(const QString& sequence) { Q_EMIT DTMFString(sequence); }
    void close() { Q_EMIT Closing(); }

    QStringList calls;
    std::optional<bool> busy = false; // nullopt: the state cannot be read
    bool keyed = false;
};

// Plays nothing: its clip ends when the test says so.
struct FakeGraph : FilterGraph {
    bool RenderFile(const QString& clip, QString* error) override;
    bool Run() override {
        running = true;
        return true;
    }
    bool Stop() override {
        running = false;
        return true;
    }
    bool SetVolume(int hundredthsOfDb) override {
        volume = hundredthsOfDb;
        return true;
    }
    std::optional<double> Duration() const override { return duration; }
    std::optional<double> CurrentPosition() const override { return position; }
    bool SetCurrentPosition(double seconds) override {
        position = seconds;
        return true;
    }
    bool SetRate(double newRate) override {
        rate = newRate;
        return true;
    }
    bool StillSounding() const override { return sounding; }

    QSet<QString>* missing = nullptr;
    QHash<QString, double>* durations = nullptr;
    QString path;
    double duration = 2.0, position = 0.0, rate = 1.0;
    int volume = 0;
    bool running = false;
    bool sounding = false; // the output has yet to play the end of this clip
};

// Every path renders unless it is listed as missing. Each clip has a length of its own, as real
// clips do: the chain takes a fresh clip as played out when its length reads like the position
// the last one ended at.
struct FakeGraphFactory : GraphFactory {
    std::shared_ptr<FilterGraph> CreateGraph() override;
    std::shared_ptr<FakeGraph> current() const { return made.empty() ? nullptr : made.back().lock(); }
    QSet<QString> missing;
    QHash<QString, double> durations;
    std::vector<std::weak_ptr<FakeGraph>> made;
};

// Readable failures: GoogleTest prints QStrings, and lists of them, as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
