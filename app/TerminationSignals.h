// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGHUP, SIGINT and SIGTERM into a Qt signal on the event loop, where it is safe to act on
// them. The other signals that would end the process at once (SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM)
// release the transmitter right in the handler, as far as the link allows, and end it there.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; false with a reason when the process cannot have them.
    // `emergencyRelease` must be async-signal-safe.
    static TerminationSignals* install(QObject* parent, void (*emergencyRelease)(), QString* error);

Q_SIGNALS:
    void received(int signalNumber);

private:
    TerminationSignals(int readFd, QObject* parent);
    void drain();

    int readFd_;
    QSocketNotifier* notifier_;
};
