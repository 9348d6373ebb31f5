#include "TempDir.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// The real program, started headless with settings and runtime folders of its own.
class TempovoxProcess {
public:
    explicit TempovoxProcess(const TempDir& dir)
        : dir_(dir) {
        QDir().mkpath(dir.file(QStringLiteral("config")));
        QDir().mkpath(dir.file(QStringLiteral("runtime")));
        QFile::setPermissions(dir.file(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.file(QStringLiteral("runtime")));
        env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TEMPOVOX_BINARY), {QStringLiteral("--headless")});
        ASSERT_TRUE(process.waitForStarted(5000)) << process.errorString().toStdString();
    }

    QString socketPath() const { return dir_.file(QStringLiteral("runtime/tempovox/link.sock")); }

    // The first start of the media framework may build its plugin cache: allow for it.
    bool waitForSocket(QLocalSocket& client) {
        return QTest::qWaitFor(
            [&] {
                client.connectToServer(socketPath());
                return client.waitForConnected(100);
            },
            30000);
    }

    bool waitForExit(int* status) {
        // The event loop of an earlier wait may already have seen the end.
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(10000))
            return false;
        *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return true;
    }

    ~TempovoxProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QProcess process;

private:
    const TempDir& dir_;
};

QStringList ReadLines(QLocalSocket& client, int count) {
    QStringList lines;
    // Waits until enough lines came or the peer left; the caller checks what arrived.
    (void)QTest::qWaitFor(
        [&] {
            while (client.canReadLine())
                lines << QString::fromUtf8(client.readLine()).chopped(1);
            return lines.size() >= count || client.state() != QLocalSocket::ConnectedState;
        },
        10000);
    while (client.canReadLine())
        lines << QString::fromUtf8(client.readLine()).chopped(1);
    return lines;
}

TEST(HeadlessProcess, ServesItsLinkRefusesASecondInstanceAndEndsOnClose) {
    TempDir dir;
    TempovoxProcess tempovox(dir);
    tempovox.start();
    QLocalSocket client;
    ASSERT_TRUE(tempovox.waitForSocket(client)) << tempovox.process.readAllStandardError().constData();
    EXPECT_EQ(ReadLines(client, 2),
              QStringList({QStringLiteral("INFO socket ") + tempovox.socketPath(), QStringLiteral("PTT 0")}));

    client.write("TIME PLEASE\r\n");
    const QStringList reply = ReadLines(client, 1);
    ASSERT_EQ(reply.size(), 1);
    EXPECT_TRUE(reply.first().startsWith(QLatin1String("ERR "))) << reply.first().toStdString();

    TempovoxProcess second(dir);
    second.start();
    int status = -2;
    ASSERT_TRUE(second.waitForExit(&status));
    EXPECT_EQ(status, 1);
    const QString complaint = QString::fromUtf8(second.process.readAllStandardError()).trimmed();
    EXPECT_EQ(complaint.count(QLatin1Char('\n')), 0) << "one clear line: " << complaint.toStdString();
    EXPECT_TRUE(complaint.contains(tempovox.socketPath())) << complaint.toStdString();

    client.write("CLOSE\n");
    EXPECT_EQ(ReadLines(client, 2), QStringList({QStringLiteral("PTT 0"), QStringLiteral("ACK")}));
    ASSERT_TRUE(tempovox.waitForExit(&status));
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("config/Tempovox.ini"))))
        << "nothing is saved on the way out";
}

TEST(HeadlessProcess, TerminationReleasesTheTransmitterAndEndsCleanly) {
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        TempDir dir;
        TempovoxProcess tempovox(dir);
        tempovox.start();
        QLocalSocket client;
        ASSERT_TRUE(tempovox.waitForSocket(client));
        ASSERT_EQ(ReadLines(client, 2).size(), 2);
        ::kill(static_cast<pid_t>(tempovox.process.processId()), signalNumber);
        EXPECT_EQ(ReadLines(client, 1), QStringList({QStringLiteral("PTT 0")})) << signalNumber;
        int status = -2;
        ASSERT_TRUE(tempovox.waitForExit(&status));
        EXPECT_EQ(status, 0) << signalNumber;
    }
}

TEST(HeadlessProcess, AnUnusableSocketPathEndsWithOneLineAndStatusOne) {
    TempDir dir;
    // A file where the socket's folder should be.
    dir.write(QStringLiteral("not-a-folder"), "x");
    dir.write(QStringLiteral("config/Tempovox.ini"),
              "[LINK]\nSOCKET=" + dir.file(QStringLiteral("not-a-folder/link.sock")).toUtf8() + "\n");
    TempovoxProcess tempovox(dir);
    tempovox.start();
    int status = -2;
    ASSERT_TRUE(tempovox.waitForExit(&status));
    EXPECT_EQ(status, 1);
    const QString complaint = QString::fromUtf8(tempovox.process.readAllStandardError()).trimmed();
    EXPECT_EQ(complaint.count(QLatin1Char('\n')), 0) << complaint.toStdString();
    EXPECT_TRUE(complaint.startsWith(QLatin1String("tempovox: "))) << complaint.toStdString();
}

} // namespace
