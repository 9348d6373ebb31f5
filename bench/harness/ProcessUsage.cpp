// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessUsage.h"

#include <QDir>
#include <QFile>

namespace e2e {

Usage usageOf(qint64 pid) {
    Usage u;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                u.rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    // The scheduler's own nanoseconds on the CPU, thread by thread: the 10 ms ticks of utime and
    // stime are too coarse for a program that runs a few milliseconds a second. Threads that end
    // take theirs with them, so this is for idling, when none do.
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            u.cpuSeconds += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
        QFile taskStatus(tasks + QLatin1Char('/') + task + QStringLiteral("/status"));
        if (!taskStatus.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : taskStatus.readAll().split('\n')) {
            const long count = line.mid(line.indexOf(':') + 1).trimmed().toLong();
            if (line.startsWith("voluntary_ctxt_switches:")) {
                u.switches += count;
                u.voluntary += count;
            } else if (line.startsWith("nonvoluntary_ctxt_switches:")) {
                u.switches += count;
            }
        }
    }
    return u;
}

} // namespace e2e
