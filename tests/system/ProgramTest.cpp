// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempDir.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

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
        QTest::qWaitFor([&] { return peer.canReadLine(); }, timeoutMs);
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

// Start-up, a DTMF request answered over the air and released, a bad setting logged, a second
// instance refused, and SIGTERM releasing the transmitter before the program ends with 0.
TEST(Program, AnswersDtmfAndEndsCleanly) {
    Program program("[SETTINGS]\nVOLSET=loud\n[AUDIO]\nSINK=fakesink sync=true\n");
    ASSERT_TRUE(program.start()) << program.errors().toStdString();
    EXPECT_EQ(program.line(), "INFO socket " + program.socketPath().toUtf8());
    EXPECT_EQ(program.line(), "PTT 0");
    program.send("DTMF 123\n");
    EXPECT_EQ(program.line(), "PTT 1");
    QByteArray line;
    while ((line = program.line(15000)) == "PTT 1")
        ;
    EXPECT_EQ(line, "PTT 0") << "released after the announcement";

    QProcess second;
    second.setProcessEnvironment(program.process.processEnvironment());
    second.start(QStringLiteral(TEMPOVOX_BINARY), {u"--headless"_s});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("already listening"));

    program.send("DTMF 123\n");
    EXPECT_EQ(program.line(), "PTT 1");
    program.process.terminate();
    ASSERT_TRUE(program.process.waitForFinished(5000));
    EXPECT_EQ(program.process.exitCode(), 0);
    QByteArray last;
    while (!(line = program.line(500)).isEmpty())
        last = line;
    EXPECT_EQ(last, "PTT 0") << "released before the end";
    EXPECT_TRUE(program.errors().contains(u"VOLSET=loud cannot be used"_s));
}

} // namespace
