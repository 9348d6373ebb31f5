// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rigctld.h"
#include "TempDir.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <cmath>
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
    bool start() {
        launch(process);
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

// Settings for the hamlib back-end on a dummy rig, which hears "123" on its receiver once.
QByteArray hamlibSettings(const Rigctld& rig, const TempDir& dir) {
    constexpr int Rate = 8000;
    QByteArray samples;
    const auto add = [&](double low, double high, int ms) {
        for (int i = 0; i < Rate * ms / 1000; ++i) {
            const double t = double(i) / Rate;
            const auto sample = qint16(8000 * (std::sin(2 * M_PI * low * t) + std::sin(2 * M_PI * high * t)));
            samples.append(reinterpret_cast<const char*>(&sample), 2);
        }
    };
    for (const double high : {1209.0, 1336.0, 1477.0}) { // "1", "2", "3"
        add(0, 0, 100);
        add(697, high, 100);
    }
    add(0, 0, 2500);
    QByteArray wav = "RIFF....WAVEfmt ";
    const auto u32 = [&](quint32 v) {
        wav.append(reinterpret_cast<const char*>(&v), 4);
    };
    const auto u16 = [&](quint16 v) {
        wav.append(reinterpret_cast<const char*>(&v), 2);
    };
    u32(16), u16(1), u16(1), u32(Rate), u32(Rate * 2), u16(2), u16(16);
    wav += "data", u32(quint32(samples.size())), wav += samples;
    const QString file = dir.write(u"rx.wav"_s, wav);
    return "[AUDIO]\nSINK=fakesink sync=true\n[LINK]\nBACKEND=hamlib\nRIG_MODEL=2\nRIG_PORT=" +
           rig.address.toUtf8() + "\nPTT_TYPE=RIG\nDCD_TYPE=NONE\nRX_SOURCE=filesrc location=\"" +
           file.toUtf8() + "\" ! wavparse\n";
}

// Start-up, a DTMF request answered over the air and released, each sequence heard logged, and
// settings from Windows Notepad read with every oddity logged.
TEST(Program, AnswersDtmf) {
    Program program("\xEF\xBB\xBF[SETTINGS]\r\nVOLSET=loud\r\nFILELOCATION=" + QByteArray(300, 'x') +
                    "\r\n[AUDIO]\r\nSINK=fakesink sync=true\r\n");
    ASSERT_TRUE(program.start()) << program.errors().toStdString();
    EXPECT_EQ(program.line(), "INFO socket " + program.socketPath().toUtf8());
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
        TempDir rx;
        Program program(hamlib ? hamlibSettings(*rig, rx) : "[AUDIO]\nSINK=fakesink\n");
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

constexpr int Crashes = -1, RunsOn = -2;

// Whatever signal ends the program, the transmitter is released: the operator's ways out end it
// with 0, the other signals with 128 + the signal, crashes as crashes. A file-size limit or a
// pipe nobody reads only fails the write.
TEST(Program, SignalsReleaseTheSocketPeers) {
    for (const auto& [signal, status] : {std::pair{SIGTERM, 0},
                                         {SIGINT, 0},
                                         {SIGHUP, 0},
                                         {SIGQUIT, 128 + SIGQUIT},
                                         {SIGUSR1, 128 + SIGUSR1},
                                         {SIGALRM, 128 + SIGALRM},
                                         {SIGXCPU, 128 + SIGXCPU},
                                         {SIGPWR, 128 + SIGPWR},
                                         {SIGVTALRM, 128 + SIGVTALRM},
                                         {SIGPROF, 128 + SIGPROF},
                                         {SIGIO, 128 + SIGIO},
                                         {SIGRTMIN + 2, 128 + SIGRTMIN + 2},
                                         {SIGSEGV, Crashes},
                                         {SIGABRT, Crashes},
                                         {SIGXFSZ, RunsOn}}) {
        SCOPED_TRACE(strsignal(signal));
        Program program("[AUDIO]\nSINK=fakesink sync=true\n");
        ASSERT_TRUE(program.start()) << program.errors().toStdString();
        program.send("DTMF 123\n");
        QByteArray line;
        while ((line = program.line()) != "PTT 1" && !line.isEmpty())
            ;
        ::kill(pid_t(program.process.processId()), signal);
        if (status == RunsOn) {
            EXPECT_FALSE(program.process.waitForFinished(1000));
            continue;
        }
        ASSERT_TRUE(program.process.waitForFinished(5000));
        EXPECT_EQ(program.process.exitStatus(),
                  status == Crashes ? QProcess::CrashExit : QProcess::NormalExit);
        if (status != Crashes) {
            EXPECT_EQ(program.process.exitCode(), status);
        }
        QByteArray last;
        while (!(line = program.line(500)).isEmpty())
            last = line;
        EXPECT_EQ(last, "PTT 0");
    }
}

// A rig keyed through hamlib is released whatever ends the program; after SIGKILL, by
// `tempovox --release` as the service's stop runs it.
TEST(Program, SignalsReleaseTheHamlibRig) {
    if (!Rigctld::available())
        GTEST_SKIP() << "no rigctld (Debian package libhamlib-utils)";
    for (const auto& [signal, status] :
         {std::pair{SIGTERM, 0}, {SIGUSR2, 128 + SIGUSR2}, {SIGKILL, Crashes}}) {
        SCOPED_TRACE(strsignal(signal));
        const Rigctld rig;
        ASSERT_TRUE(rig.ready);
        TempDir rx;
        Program program(hamlibSettings(rig, rx));
        program.launch(program.process);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig.ptt() == u"1"_s; }, 15000))
            << program.errors().toStdString();
        ::kill(pid_t(program.process.processId()), signal);
        ASSERT_TRUE(program.process.waitForFinished(5000));
        if (status == Crashes) {
            EXPECT_EQ(rig.ptt(), u"1"_s) << "nothing in the program could release it";
            QProcess release;
            program.launch(release, {u"--release"_s});
            ASSERT_TRUE(release.waitForFinished(10000));
            EXPECT_EQ(release.exitCode(), 0) << release.readAllStandardError().toStdString();
        } else {
            EXPECT_EQ(program.process.exitCode(), status);
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
