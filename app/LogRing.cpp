// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogRing.h"

#include <QMetaObject>

#include <cstdio>

namespace {
QtMessageHandler previousHandler = nullptr;

void recordingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QString line = qFormatLogMessage(type, context, message);
    if (previousHandler) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qUtf8Printable(line));
        std::fflush(stderr);
    }
    LogRing::install().append(line);
}
} // namespace

LogRing& LogRing::install() {
    static LogRing* ring = [] {
        auto* made = new LogRing; // lives as long as the handler that writes to it
        previousHandler = qInstallMessageHandler(recordingHandler);
        return made;
    }();
    return *ring;
}

void LogRing::append(const QString& text) {
    const LogLine line{QDateTime::currentDateTime(), text};
    {
        QMutexLocker lock(&mutex_);
        lines_.append(line);
        if (lines_.size() > Kept)
            lines_.removeFirst();
    }
    // Queued: a line may come from a streaming thread, or from inside a page's own request.
    QMetaObject::invokeMethod(
        this, [this, line] { Q_EMIT lineAdded(line); }, Qt::QueuedConnection);
}

QList<LogLine> LogRing::lines() const {
    QMutexLocker lock(&mutex_);
    return lines_;
}
