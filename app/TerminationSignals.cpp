// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int WriteFd = -1;

// Runs in signal context: only async-signal-safe calls.
void OnSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(WriteFd, &byte, 1);
    errno = saved;
}
} // namespace

TerminationSignals* TerminationSignals::install(QObject* parent, QString* error) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    WriteFd = fds[0];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, nullptr) != 0 || ::sigaction(SIGINT, &action, nullptr) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
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
