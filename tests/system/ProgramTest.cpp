// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempDir.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <csignal>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The built program, headless, with settings and runtime folders of its own, and a link peer.
class Program {
public:
    explicit Program(const QByteArray& settings) {
        dir.write(u"config/Tempovox.ini"_s, settings);
        QDir().mkpath(dir.file(u"runtime"_s));
        QFile::setPermissions(dir.file(u"runtime"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, dir.file(u"config"_s));
        env.insert(u"XDG_RUNTIME_DIR"_s, dir.file(u"runtime"_s));
        process.setProcessEnvironment(env);
    }
    ~Program() {
        process.kill();
        process.waitForFinished();
    }
    QString socketPath() const { return dir.file(u"runtime/tempovox/link.sock"_s); }
    bool start() {
        process.start(QStringLiteral(TEMPOVOX_BINARY), {u"--headless"_s});
        return QTest::qWaitFor(
            [&] {
                peer.connectToServer(socketPath());
                return peer.waitForConnected(100);
            },
            10000);
    }
    // The peer's next line, waiting at most timeoutMs; empty when none came.
    QByteArray line(int timeoutMs = 10000) {
        if (!QTest::qWaitFor([&] { return peer.canReadLine(); }, timeoutMs))
            return {};
        return peer.readLine().trimmed();
    }
    void send(const QByteArray& text) {
        peer.write(text);
        peer.flush();
    }
    QString errors() { return QString::fromUtf8(process.readAllStandardError()); }

    TempDir dir;
    QProcess process;
    QLocalSocket peer;
};

// The station page: its address on stderr, the page driving the transmitter; and an address in
// use costs one line while the station runs on.
TEST(Program, ServesItsPageOrRunsOnWithoutIt) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    {
        Program program("[WEB]\nLISTEN=127.0.0.1:" + QByteArray::number(taken.serverPort()) +
                        "\n[AUDIO]\nSINK=fakesink sync=true\n");
        ASSERT_TRUE(program.start()) << program.errors().toStdString();
        EXPECT_EQ(program.line(), "INFO socket " + program.socketPath().toUtf8());
        EXPECT_TRUE(program.errors().contains(
            u"station page off: cannot listen on 127.0.0.1:%1"_s.arg(taken.serverPort())));
    }
    const quint16 port = taken.serverPort();
    taken.close();
    Program program("[WEB]\nLISTEN=127.0.0.1:" + QByteArray::number(port) +
                    "\n[AUDIO]\nSINK=fakesink sync=true\n");
    ASSERT_TRUE(program.start()) << program.errors().toStdString();
    EXPECT_EQ(program.line(), "INFO socket " + program.socketPath().toUtf8());
    EXPECT_EQ(program.line(), "PTT 0");
    const auto address =
        QRegularExpression(u"station page at http://127\\.0\\.0\\.1:(\\d+)/\\?token=(\\S+)"_s)
            .match(program.errors());
    ASSERT_TRUE(address.hasMatch());
    EXPECT_EQ(address.captured(1).toInt(), port);
    QFile tokenFile(program.dir.file(u"runtime/tempovox/web-token"_s));
    ASSERT_TRUE(tokenFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(tokenFile.readAll().trimmed(), address.captured(2).toUtf8());

    QTcpSocket page;
    page.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(page.waitForConnected(5000));
    page.write(
        "POST /api/announce HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\nAuthorization: Bearer " +
        address.captured(2).toUtf8() + "\r\n\r\n");
    ASSERT_TRUE(page.waitForReadyRead(5000));
    EXPECT_TRUE(page.readAll().startsWith("HTTP/1.1 202 "));
    EXPECT_EQ(program.line(), "PTT 1");
}

// Start-up, a DTMF request answered over the air and released, settings from Windows Notepad
// read with every oddity logged, and a second program refused.
TEST(Program, AnswersDtmfAndRefusesASecondProgram) {
    Program program("\xEF\xBB\xBF[SETTINGS]\r\nVOLSET=loud\r\nFILELOCATION=" + QByteArray(300, 'x') +
                    "\r\n[AUDIO]\r\nSINK=fakesink sync=true\r\n");
    ASSERT_TRUE(program.start()) << program.errors().toStdString();
    EXPECT_EQ(program.line(), "INFO socket " + program.socketPath().toUtf8());
    EXPECT_EQ(program.line(), "PTT 0");
    program.send("DTMF 123\n");
    EXPECT_EQ(program.line(), "PTT 1");
    QByteArray line;
    while ((line = program.line(15000)) == "PTT 1")
        ;
    EXPECT_EQ(line, "PTT 0") << "released after the announcement";
    EXPECT_EQ(program.line(1500), "PTT 0") << "and again every second while idle";

    // Two more at the same moment: neither gets past the first.
    QProcess others[2];
    for (QProcess& other : others) {
        other.setProcessEnvironment(program.process.processEnvironment());
        other.start(QStringLiteral(TEMPOVOX_BINARY), {u"--headless"_s});
    }
    for (QProcess& other : others) {
        ASSERT_TRUE(other.waitForFinished(10000));
        EXPECT_EQ(other.exitCode(), 1);
        EXPECT_TRUE(other.readAllStandardError().contains("already listening"));
    }
    const QString errors = program.errors();
    for (const char* logged :
         {"VOLSET=loud cannot be used", "byte-order mark", "FILELOCATION is longer than 255"})
        EXPECT_TRUE(errors.contains(QLatin1String(logged))) << logged << "\n" << errors.toStdString();
}

// Every signal that ends the program releases the transmitter first; the operator's ways out
// end it with 0.
TEST(Program, SignalsReleaseTheTransmitter) {
    for (const auto& [signal, status] : {std::pair{SIGTERM, 0},
                                         {SIGINT, 0},
                                         {SIGHUP, 0},
                                         {SIGQUIT, 128 + SIGQUIT},
                                         {SIGUSR1, 128 + SIGUSR1},
                                         {SIGALRM, 128 + SIGALRM}}) {
        SCOPED_TRACE(strsignal(signal));
        Program program("[AUDIO]\nSINK=fakesink sync=true\n");
        ASSERT_TRUE(program.start()) << program.errors().toStdString();
        program.send("DTMF 123\n");
        QByteArray line;
        while ((line = program.line()) != "PTT 1" && !line.isEmpty())
            ;
        ::kill(pid_t(program.process.processId()), signal);
        ASSERT_TRUE(program.process.waitForFinished(5000));
        EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process.exitCode(), status);
        QByteArray last;
        while (!(line = program.line(500)).isEmpty())
            last = line;
        EXPECT_EQ(last, "PTT 0");
    }
}

// Without a runtime folder the socket goes to /tmp, into a folder that must be this user's own.
TEST(Program, RefusesAFallbackFolderOfAnotherUser) {
    const QString folder = u"/tmp/tempovox-%1"_s.arg(::getuid());
    if (::getuid() != 0 || QFile::exists(folder))
        GTEST_SKIP() << "needs root and no " << folder.toStdString();
    ASSERT_TRUE(QDir().mkdir(folder));
    const auto removed = qScopeGuard([&] { QDir(folder).removeRecursively(); });
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    Program program("[AUDIO]\nSINK=fakesink sync=true\n");
    auto env = program.process.processEnvironment();
    env.remove(u"XDG_RUNTIME_DIR"_s);
    program.process.setProcessEnvironment(env);
    program.process.start(QStringLiteral(TEMPOVOX_BINARY), {u"--headless"_s});
    ASSERT_TRUE(program.process.waitForFinished(10000));
    EXPECT_EQ(program.process.exitCode(), 1);
    EXPECT_TRUE(program.errors().contains(u"not a folder of this user's own"_s));
}

} // namespace
