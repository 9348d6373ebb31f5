// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StationModel.h"

#include <QMutex>
#include <QObject>

// The last lines the program wrote to stderr: every Qt message, through a handler chained in
// front of the one that prints it, and the lines of the headless message boxes.
class LogRing : public QObject {
    Q_OBJECT
public:
    static constexpr int Kept = 200;

    // The ring the message handler writes to; made and chained in at the first call.
    static LogRing& install();

    // A line printed on stderr by other means. Any thread.
    void append(const QString& text);
    QList<LogLine> lines() const;

Q_SIGNALS:
    // Always on the ring's own thread, whichever thread wrote the line.
    void lineAdded(const LogLine& line);

private:
    LogRing() = default;

    mutable QMutex mutex_;
    QList<LogLine> lines_;
};
