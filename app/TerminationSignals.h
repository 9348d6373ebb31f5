// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Whatever signal ends the program, the transmitter is released first.
//
// SIGHUP, SIGINT and SIGTERM become a Qt signal on the event loop, where the window ends the
// program as its own ways out do. Every other signal that would end the process releases the
// socket peers in the handler and ends the program from the event loop at once, so that the
// rig back-ends release through their own calls, never from signal context; should the event
// loop not come round within a few seconds, a watchdog thread ends it without them. Crash
// signals release the socket peers and then end the process as they would have, core and all.
// SIGXFSZ and SIGPIPE are ignored: a write past a file-size limit or into a pipe nobody reads
// fails like any other write.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // How long the event loop has to end the program after a fatal signal.
    static constexpr int FatalGraceMs = 3000;

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
