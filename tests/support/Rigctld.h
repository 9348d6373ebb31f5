// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

// Hamlib's dummy rig (model 1) behind rigctld on a free local port, for as long as this lives.
// `available()` is false where libhamlib-utils is not installed.
class Rigctld {
public:
    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("rigctld")).isEmpty(); }

    Rigctld() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        const QString port = QString::number(probe.serverPort());
        probe.close();
        address = QStringLiteral("127.0.0.1:") + port;
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process.start(QStringLiteral("rigctld"),
                      {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-T"),
                       QStringLiteral("127.0.0.1"), QStringLiteral("-t"), port, QStringLiteral("-P"),
                       QStringLiteral("RIG")});
        ready =
            process.waitForStarted() && QTest::qWaitFor([&] { return ptt() == QLatin1String("0"); }, 5000);
    }
    ~Rigctld() { stop(); }

    void stop() {
        process.kill();
        process.waitForFinished();
    }

    // The PTT state as a separate client reads it: "1", "0", or empty when none answers.
    QString ptt() const {
        QProcess client;
        client.start(QStringLiteral("rigctl"), {QStringLiteral("-m"), QStringLiteral("2"),
                                                QStringLiteral("-r"), address, QStringLiteral("t")});
        client.waitForFinished(5000);
        return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
    }

    QString address; // host:port, as RIG_PORT takes it
    bool ready = false;
    QProcess process;
};
