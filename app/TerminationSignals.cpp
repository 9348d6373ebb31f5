// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <span>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {
int WriteFd = -1;
void (*EmergencyRelease)() = nullptr;

constexpr int ConfirmedClose[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int Fatal[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};

// Runs in signal context. quick_exit runs the link back-ends' own release handlers too.
void OnFatalSignal(int signalNumber) {
    if (EmergencyRelease)
        EmergencyRelease();
    std::quick_exit(128 + signalNumber);
}

// Runs in signal context: only async-signal-safe calls.
void OnSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(WriteFd, &byte, 1);
    errno = saved;
}
} // namespace

TerminationSignals* TerminationSignals::install(QObject* parent, void (*emergencyRelease)(), QString* error) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    WriteFd = fds[0];
    EmergencyRelease = emergencyRelease;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const auto& [handler, signals] : {std::pair{&OnSignal, std::span<const int>(ConfirmedClose)},
                                           std::pair{&OnFatalSignal, std::span<const int>(Fatal)}}) {
        action.sa_handler = handler;
        for (const int signalNumber : signals) {
            if (::sigaction(signalNumber, &action, nullptr) != 0) {
                *error = QString::fromLocal8Bit(std::strerror(errno));
                return nullptr;
            }
        }
    }
    return new TerminationSignals(fds[1], parent);
}

TerminationSignals::TerminationSignals(int readFd, QObject* parent)
    : QObject(parent)
    , readFd_(readFd)
    , notifier_(new QSocketNotifier(readFd, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

void TerminationSignals::drain() {
    unsigned char byte = 0;
    while (::read(readFd_, &byte, 1) == 1)
        Q_EMIT received(byte);
}
