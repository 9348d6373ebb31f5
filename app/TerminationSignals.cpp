// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
int WriteFd = -1;         // to the event loop
int WatchdogWriteFd = -1; // to the watchdog thread
void (*EmergencyRelease)() = nullptr;

constexpr int ConfirmedClose[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int Crash[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
constexpr int Ignored[] = {SIGXFSZ, SIGPIPE};
// On the event loop's pipe a fatal signal comes with this bit set, a confirmed close without.
constexpr unsigned char FatalBit = 0x80;

// Every other signal whose default action ends the process, real-time signals included.
std::vector<int> fatalSignals() {
    std::vector<int> signals = {SIGQUIT, SIGUSR1,   SIGUSR2, SIGALRM, SIGXCPU,
                                SIGPWR,  SIGVTALRM, SIGPROF, SIGIO,   SIGSTKFLT};
    for (int rt = SIGRTMIN; rt <= SIGRTMAX; ++rt)
        signals.push_back(rt);
    return signals;
}

void writeByte(int fd, unsigned char byte) {
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    errno = saved;
}

// Runs in signal context: only async-signal-safe calls.
void OnSignal(int signalNumber) {
    writeByte(WriteFd, static_cast<unsigned char>(signalNumber));
}

// Runs in signal context. The socket peers are told at once; the rest happens on the event loop.
void OnFatalSignal(int signalNumber) {
    if (EmergencyRelease)
        EmergencyRelease();
    writeByte(WriteFd, static_cast<unsigned char>(signalNumber) | FatalBit);
    writeByte(WatchdogWriteFd, static_cast<unsigned char>(signalNumber));
}

// Runs in signal context, installed with SA_RESETHAND: raising the signal again ends the process
// with its default action.
void OnCrashSignal(int signalNumber) {
    if (EmergencyRelease)
        EmergencyRelease();
    ::raise(signalNumber);
}

// Ends the process when the event loop has not done so in time after a fatal signal, for
// instance while the main thread waits on a rig that does not answer.
void watchdog(int readFd) {
    unsigned char byte = 0;
    while (::read(readFd, &byte, 1) != 1) {
        if (errno != EINTR)
            return;
    }
    timespec grace{TerminationSignals::FatalGraceMs / 1000,
                   (TerminationSignals::FatalGraceMs % 1000) * 1000000L};
    while (::nanosleep(&grace, &grace) != 0 && errno == EINTR)
        ;
    ::_exit(128 + byte);
}

bool pipePair(int fds[2], QString* error) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool handle(int signalNumber, void (*handler)(int), int flags, QString* error) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    action.sa_handler = handler;
    if (::sigaction(signalNumber, &action, nullptr) == 0)
        return true;
    *error =
        QStringLiteral("signal %1: %2").arg(signalNumber).arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}
} // namespace

TerminationSignals* TerminationSignals::install(QObject* parent, void (*emergencyRelease)(), QString* error) {
    int loop[2], guard[2];
    if (!pipePair(loop, error) || !pipePair(guard, error))
        return nullptr;
    // The event loop's end is read until empty; the handlers' ends must never block.
    for (const int fd : {loop[0], loop[1], guard[0]})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    WriteFd = loop[0];
    WatchdogWriteFd = guard[0];
    EmergencyRelease = emergencyRelease;
    std::thread(watchdog, guard[1]).detach();

    for (const int signalNumber : ConfirmedClose) {
        if (!handle(signalNumber, &OnSignal, SA_RESTART, error))
            return nullptr;
    }
    for (const int signalNumber : fatalSignals()) {
        if (!handle(signalNumber, &OnFatalSignal, SA_RESTART, error))
            return nullptr;
    }
    for (const int signalNumber : Crash) {
        if (!handle(signalNumber, &OnCrashSignal, SA_RESETHAND | SA_NODEFER, error))
            return nullptr;
    }
    for (const int signalNumber : Ignored) {
        if (!handle(signalNumber, SIG_IGN, 0, error))
            return nullptr;
    }
    return new TerminationSignals(loop[1], parent);
}

TerminationSignals::TerminationSignals(int readFd, QObject* parent)
    : QObject(parent)
    , readFd_(readFd)
    , notifier_(new QSocketNotifier(readFd, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

void TerminationSignals::drain() {
    unsigned char byte = 0;
    while (::read(readFd_, &byte, 1) == 1) {
        if (byte & FatalBit) {
            // quick_exit runs the link back-ends' own release handlers, here outside signal context.
            std::fflush(nullptr);
            std::quick_exit(128 + (byte & ~FatalBit));
        }
        Q_EMIT received(byte);
    }
}
