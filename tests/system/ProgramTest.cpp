// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rigctld.h"
#include "TempDir.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <csignal>
#include <cstring>
#include <optional>
#include <sys/resource.h>
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
    // Another run of the program with these settings and folders; crashes leave no core file.
    void launch(QProcess& other, const QStringList& arguments = {u"--headless"_s}) const {
        other.setProcessEnvironment(process.processEnvironment());
        other.setChildProcessModifier([] {
            const rlimit noCore{1, 1}; // 1, not 0, stops a core_pattern pipe as well
            ::setrlimit(RLIMIT_CORE, &noCore);
        });
        other.start(QStringLiteral(TEMPOVOX_BINARY), arguments);
    }
    // Starts the program and connects the peer, which is greeted with the socket's path.
    bool start() {
        launch(process);
        return QTest::qWaitFor(
                   [&] {
                       peer.connectToServer(socketPath());
                       return peer.waitForConnected(100);
                   },
                   10000) &&
               line() == "INFO socket " + socketPath().toUtf8();
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

// Settings for the hamlib back-end on a dummy rig, whose receiver hears the request "1" once.
QByteArray hamlibSettings(const Rigctld& rig) {
    const auto tone = [](const char* hz) {
        return "audiotestsrc volume=0.2 samplesperbuffer=800 num-buffers=1 freq=" + QByteArray(hz) +
               " ! audio/x-raw,rate=8000,channels=1 ! m. ";
    };
    return "[SETTINGS]\nDTMFTIME=1\n[AUDIO]\nSINK=fakesink "
           "sync=true\n[LINK]\nBACKEND=hamlib\nRIG_MODEL=2\nRIG_PORT=" +
           rig.address.toUtf8() + "\nPTT_TYPE=RIG\nDCD_TYPE=NONE\nRX_SOURCE=" + tone("697") + tone("1209") +
           "audiomixer name=m\n";
}

// The station page: its address on stderr, with the token the program keeps (the browser test
// goes in by it); and an address in use costs one line while the station runs on.
TEST(Program, ServesItsPageOrRunsOnWithoutIt) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    {
        Program program("[WEB]\nLISTEN=127.0.0.1:" + QByteArray::number(taken.serverPort()) +
                        "\n[AUDIO]\nSINK=fakesink sync=true\n");
        ASSERT_TRUE(program.start()) << program.errors().toStdString();
        EXPECT_TRUE(program.errors().contains(
            u"station page off: cannot listen on 127.0.0.1:%1"_s.arg(taken.serverPort())));
    }
    const quint16 port = taken.serverPort();
    taken.close();
    Program program("[WEB]\nLISTEN=127.0.0.1:" + QByteArray::number(port) +
                    "\n[AUDIO]\nSINK=fakesink sync=true\n");
    ASSERT_TRUE(program.start()) << program.errors().toStdString();
    EXPECT_EQ(program.line(), "PTT 0");
    const auto address =
        QRegularExpression(u"station page at http://127\\.0\\.0\\.1:(\\d+)/\\?token=(\\S+)"_s)
            .match(program.errors());
    ASSERT_TRUE(address.hasMatch());
    EXPECT_EQ(address.captured(1).toInt(), port);
    QFile tokenFile(program.dir.file(u"runtime/tempovox/web-token"_s));
    ASSERT_TRUE(tokenFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(tokenFile.readAll().trimmed(), address.captured(2).toUtf8());
}

// Start-up, a DTMF request answered over the air and released, each sequence heard logged, and
// settings from Windows Notepad read with every oddity logged.
TEST(Program, AnswersDtmf) {
    Program program("\xEF\xBB\xBF[SETTINGS]\r\nVOLSET=loud\r\nFILELOCATION=" + QByteArray(300, 'x') +
                    "\r\n[AUDIO]\r\nSINK=fakesink sync=true\r\n");
    ASSERT_TRUE(program.start()) << program.errors().toStdString();
    EXPECT_EQ(program.line(), "PTT 0");
    program.send("DTMF 12\nDTMF 123\n");
    EXPECT_EQ(program.line(), "PTT 1");
    QByteArray line;
    while ((line = program.line(15000)) == "PTT 1")
        ;
    EXPECT_EQ(line, "PTT 0") << "released after the announcement";
    EXPECT_EQ(program.line(1500), "PTT 0") << "and again every second while idle";
    const QString errors = program.errors();
    for (const char* logged :
         {"VOLSET=loud cannot be used", "byte-order mark", "FILELOCATION is longer than 255",
          "DTMF heard: 12 (does not match DTMFTIME)", "DTMF heard: 123 (matches DTMFTIME)"})
        EXPECT_TRUE(errors.contains(QLatin1String(logged))) << logged << "\n" << errors.toStdString();
}

// Two programs of one station started at the same moment, on either back-end: one refuses.
TEST(Program, OneProgramPerStation) {
    for (const bool hamlib : {false, true}) {
        SCOPED_TRACE(hamlib ? "hamlib" : "socket");
        if (hamlib && !Rigctld::available())
            GTEST_SKIP() << "no rigctld (Debian package libhamlib-utils)";
        const std::optional<Rigctld> rig = hamlib ? std::make_optional<Rigctld>() : std::nullopt;
        Program program(hamlib ? hamlibSettings(*rig) : "[AUDIO]\nSINK=fakesink\n");
        QProcess both[2];
        for (QProcess& one : both)
            program.launch(one);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return both[0].state() == QProcess::NotRunning || both[1].state() == QProcess::NotRunning;
            },
            10000));
        QProcess& refused = both[0].state() == QProcess::NotRunning ? both[0] : both[1];
        QProcess& running = &refused == &both[0] ? both[1] : both[0];
        EXPECT_EQ(refused.exitCode(), 1);
        EXPECT_TRUE(refused.readAllStandardError().contains("another Tempovox already runs this station"));
        EXPECT_FALSE(running.waitForFinished(1000)) << running.readAllStandardError().toStdString();
        running.kill();
        running.waitForFinished();
    }
}

// How a signal ends the program: 0, 128 + the signal, as a crash, or not at all.
enum End { Confirmed, Fatal, Crash, RunsOn };

// Whatever signal ends the program, the transmitter is released: the operator's ways out end it
// with 0, the other signals with 128 + the signal, crashes as crashes. A file-size limit only
// fails the write.
TEST(Program, SignalsReleaseTheSocketPeers) {
    const std::pair<int, End> cases[] = {{SIGTERM, Confirmed}, {SIGINT, Confirmed}, {SIGHUP, Confirmed},
                                         {SIGQUIT, Fatal},     {SIGUSR1, Fatal},    {SIGALRM, Fatal},
                                         {SIGXCPU, Fatal},     {SIGPWR, Fatal},     {SIGVTALRM, Fatal},
                                         {SIGPROF, Fatal},     {SIGIO, Fatal},      {SIGRTMIN + 2, Fatal},
                                         {SIGSEGV, Crash},     {SIGABRT, Crash},    {SIGXFSZ, RunsOn}};
    for (const auto& [signal, end] : cases) {
        SCOPED_TRACE(strsignal(signal));
        Program program("[AUDIO]\nSINK=fakesink sync=true\n");
        ASSERT_TRUE(program.start()) << program.errors().toStdString();
        program.send("DTMF 123\n");
        QByteArray line;
        while ((line = program.line()) != "PTT 1" && !line.isEmpty())
            ;
        ::kill(pid_t(program.process.processId()), signal);
        if (end == RunsOn) {
            EXPECT_FALSE(program.process.waitForFinished(1000));
            continue;
        }
        ASSERT_TRUE(program.process.waitForFinished(5000));
        EXPECT_EQ(program.process.exitStatus(), end == Crash ? QProcess::CrashExit : QProcess::NormalExit);
        if (end != Crash) {
            EXPECT_EQ(program.process.exitCode(), end == Fatal ? 128 + signal : 0);
        }
        QByteArray last;
        while (!(line = program.line(500)).isEmpty())
            last = line;
        EXPECT_EQ(last, "PTT 0");
    }
}

// A rig keyed through hamlib is released whatever ends the program; after SIGKILL, by
// `tempovox --release` as the service's stop runs it, which leaves a running program's alone.
TEST(Program, SignalsReleaseTheHamlibRig) {
    if (!Rigctld::available())
        GTEST_SKIP() << "no rigctld (Debian package libhamlib-utils)";
    for (const auto& [signal, end] : {std::pair{SIGTERM, Confirmed}, {SIGUSR2, Fatal}, {SIGKILL, Crash}}) {
        SCOPED_TRACE(strsignal(signal));
        const Rigctld rig;
        ASSERT_TRUE(rig.ready);
        Program program(hamlibSettings(rig));
        program.launch(program.process);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig.ptt() == u"1"_s; }, 15000))
            << program.errors().toStdString();
        QProcess beside; // as the service's stop runs it after a start refused beside this program
        program.launch(beside, {u"--release"_s});
        ASSERT_TRUE(beside.waitForFinished(10000));
        EXPECT_EQ(rig.ptt(), u"1"_s) << "the running program's transmitter is left to it";
        ::kill(pid_t(program.process.processId()), signal);
        ASSERT_TRUE(program.process.waitForFinished(5000));
        if (end == Crash) {
            EXPECT_EQ(rig.ptt(), u"1"_s) << "nothing in the program could release it";
            QProcess release;
            program.launch(release, {u"--release"_s});
            ASSERT_TRUE(release.waitForFinished(10000));
            EXPECT_EQ(release.exitCode(), 0) << release.readAllStandardError().toStdString();
        } else {
            EXPECT_EQ(program.process.exitCode(), end == Fatal ? 128 + signal : 0);
        }
        EXPECT_EQ(rig.ptt(), u"0"_s);
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
