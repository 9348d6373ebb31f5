// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the event loop, where it is safe to act on them.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; false with a reason when the process cannot have them.
    static TerminationSignals* install(QObject* parent, QString* error);

Q_SIGNALS:
    void received(int signalNumber);

private:
    TerminationSignals(int readFd, QObject* parent);
    void drain();

    int readFd_;
    QSocketNotifier* notifier_;
};
