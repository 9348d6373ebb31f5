// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

// What the station page shows, as the station sees it. Plain values: the server turns them
// into the JSON of the API, so the page and the API cannot disagree.
struct StationStatus {
    QString version;
    QString language; // "pt", "en" or "es"
    bool headless = false;
    QDateTime clock;
    bool keyed = false;
    QDateTime keyedSince; // when the transmitter last changed state
    QString linkState;    // "free", "busy" or "unknown"
    QString linkBackend;
    QString linkInfo;
    std::optional<int> linkPeers; // empty when the back-end has no such notion

    struct Next {
        QDateTime at;
        QString text; // "14:30"
        QStringList clips;
    };
    std::optional<Next> next; // empty when no mark is enabled

    struct Running {
        QString cause;
        QDateTime started;
        QString clip;
        double position = 0; // seconds
        double duration = 0; // seconds
    };
    std::optional<Running> announcement; // empty when none is under way

    int volume = 0;  // hundredths of a decibel, -3000..0
    int speed = 100; // percent, 10..200
};

// The ranges of the window's volume and speed bars.
inline constexpr int MinVolume = -3000;
inline constexpr int MaxVolume = 0;
inline constexpr int MinSpeed = 10;
inline constexpr int MaxSpeed = 200;

// One announcement, once it has ended.
struct AnnouncementRecord {
    QDateTime at;
    QString cause;     // "schedule", "dtmf", "button" or "page"
    QStringList clips; // the clips heard, file names
    QString outcome;   // "played", "skipped-busy", "failed", "tx-timeout" or "stopped"
    QString reason;    // why it failed; empty otherwise
    double seconds = 0;
};

struct LogLine {
    QDateTime at;
    QString text;
};

// The [SETTINGS] keys as the save writes them, and which of them the window greys.
struct StationSettings {
    QMap<QString, QString> values;
    QStringList disabled;
};

// Counters since start, for the metrics.
struct StationCounters {
    QMap<QPair<QString, QString>, qint64> announcements; // (cause, outcome) -> count
    double keyedSeconds = 0;
    std::optional<QDateTime> lastHeard; // the end of the last announcement that was heard
    bool linkBusy = false;
    qint64 outputFailures = 0;
};

// The narrow interface through which the page reads and drives the station. The program
// implements it over its main window; tests implement it with a double.
class StationModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~StationModel() override = default;

    virtual StationStatus status() const = 0;
    virtual QList<AnnouncementRecord> announcements() const = 0; // newest first
    virtual QList<LogLine> logLines() const = 0;                 // oldest first
    virtual StationSettings settings() const = 0;
    virtual StationCounters counters() const = 0;

    // Applies every value or none, then saves as the window's save does. False with the reason
    // in *error; *saveFailed tells a failed save from a value the window cannot take.
    virtual bool applySettings(const QMap<QString, QString>& values, QString* error, bool* saveFailed) = 0;
    // Starts an announcement as the window's button does, with cause "page".
    virtual void announce() = 0;
    // Ends the announcement under way and releases the transmitter.
    virtual void release() = 0;
    // As moving the window's volume and speed bars; the caller checks the ranges.
    virtual void setVolume(int hundredthsOfDb) = 0;
    virtual void setSpeed(int percent) = 0;

Q_SIGNALS:
    void statusChanged();
    void announcementEnded(const AnnouncementRecord& record);
    void logLineAdded(const LogLine& line);
    void settingsChanged();
};
