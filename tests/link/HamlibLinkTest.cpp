#include "HamlibLink.h"
#include "LinkFactory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Hamlib's dummy rig behind a real rigctld on a free localhost port. Its PTT type is set to RIG
// so that it keeps the PTT state it is given; its DCD flips on every read.
class Rigctld {
public:
    explicit Rigctld(QStringList options = {u"-P"_s, u"RIG"_s})
        : options_(std::move(options)) {}
    ~Rigctld() { stop(); }

    static bool installed() {
        return !QStandardPaths::findExecutable(u"rigctld"_s).isEmpty() &&
               !QStandardPaths::findExecutable(u"rigctl"_s).isEmpty();
    }

    // On `port`, or on a free one when 0. Another program may take a free port between the
    // probe and rigctld's bind, so a few ports are tried.
    bool start(quint16 port = 0) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = port != 0 ? port : freePort();
            // Ends with the test, even one that crashes or is killed.
            process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
            process_.start(u"rigctld"_s, QStringList{u"-m"_s, u"1"_s, u"-T"_s, u"127.0.0.1"_s, u"-t"_s,
                                                     QString::number(port_)} +
                                             options_);
            if (process_.waitForStarted(3000) && accepting())
                return true;
            stop();
            if (port != 0)
                QThread::msleep(200); // the old listener's port may take a moment to come free
        }
        return false;
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill(); // SIGKILL ends a stopped process too
        process_.waitForFinished(3000);
    }
    void pause() {
        ::kill(pid_t(process_.processId()), SIGSTOP);
        // The stop takes effect a moment later; until then rigctld may still answer.
        for (int wait = 0; wait < 100 && !stopped(); ++wait)
            QThread::msleep(10);
    }
    void resume() { ::kill(pid_t(process_.processId()), SIGCONT); }

    quint16 port() const { return port_; }
    QString address() const { return u"127.0.0.1:%1"_s.arg(port_); }

    // What rigctl, a separate client, reads from the rig; "1" or "0" for the PTT state.
    QString rigctl(const QString& command) const {
        QProcess client;
        client.start(u"rigctl"_s, {u"-m"_s, u"2"_s, u"-r"_s, address(), command});
        if (!client.waitForFinished(5000)) {
            client.kill();
            client.waitForFinished();
            return u"(rigctl hung)"_s;
        }
        return QString::fromLocal8Bit(client.readAllStandardOutput()).trimmed();
    }

private:
    bool stopped() const {
        QFile stat(u"/proc/%1/stat"_s.arg(process_.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        const qsizetype end = line.lastIndexOf(") ");
        return end >= 0 && line.mid(end + 2, 1) == "T";
    }

    static quint16 freePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    // Read from the kernel's socket table: a test connection would do, but rigctld 4.5 can
    // reset the connection that follows a short one too closely.
    bool accepting() {
        const QByteArray port = ':' + QByteArray::number(port_, 16).toUpper().rightJustified(4, '0');
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 3000 && process_.state() != QProcess::NotRunning) {
            QFile table(u"/proc/net/tcp"_s);
            const QList<QByteArray> lines =
                table.open(QIODevice::ReadOnly) ? table.readAll().split('\n') : QList<QByteArray>{};
            for (const QByteArray& line : lines) {
                const QList<QByteArray> fields = line.simplified().split(' ');
                const bool loopback =
                    fields.size() > 3 && (fields[1] == "0100007F" + port || fields[1] == "7F000001" + port);
                if (loopback && fields[3] == "0A") // listening
                    return true;
            }
            QThread::msleep(20);
        }
        return false;
    }

    QStringList options_;
    QProcess process_;
    quint16 port_ = 0;
};

constexpr int Dummy = 1;     // hamlib's dummy rig, in this process
constexpr int NetRigctl = 2; // hamlib's client of a rigctld

LinkSettings hamlibSettings(int model, const QString& port = {}) {
    LinkSettings settings;
    settings.backend = u"hamlib"_s;
    settings.rigModel = model;
    settings.rigPort = port;
    return settings;
}

// Short reopen interval, so that recovery shows within a test.
constexpr HamlibLink::Timing Quick{500, 100, 60000};

// Every warning of the link's logging category while it lives.
class LinkWarnings {
public:
    LinkWarnings() {
        current_ = this;
        QLoggingCategory::setFilterRules(u"tempovox.link.warning=true"_s);
        previous_ = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (type == QtWarningMsg && qstrcmp(context.category, "tempovox.link") == 0)
                    current_->lines.append(text);
            });
    }
    ~LinkWarnings() {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(u"tempovox.*.warning=false"_s);
        current_ = nullptr;
    }

    QStringList lines;

private:
    static inline LinkWarnings* current_ = nullptr;
    QtMessageHandler previous_ = nullptr;
};

class HamlibRigctld : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Rigctld::installed())
            GTEST_SKIP() << "rigctld/rigctl not installed (Debian: libhamlib-utils); rigctld tests skipped";
        ASSERT_TRUE(rigctld.start()) << "rigctld did not start on a localhost port";
    }

    std::unique_ptr<HamlibLink> open(HamlibLink::Timing timing = Quick) {
        QString error;
        auto link = HamlibLink::open(hamlibSettings(NetRigctl, rigctld.address()), &error, timing);
        EXPECT_TRUE(link) << qPrintable(error);
        return link;
    }

    Rigctld rigctld;
};

TEST_F(HamlibRigctld, KeysAndReleasesWhatAnotherClientReads) {
    QString error;
    std::unique_ptr<Link> link = createLink(hamlibSettings(NetRigctl, rigctld.address()), &error);
    ASSERT_TRUE(link) << qPrintable(error);
    EXPECT_EQ(link->InfoObject().InfoText(), u"hamlib NET rigctl "_s + rigctld.address());

    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_EQ(rigctld.rigctl(u"t"_s), u"1"_s);
    EXPECT_TRUE(link->SetPtt(true)); // repeated while keyed
    EXPECT_TRUE(link->SetPtt(false));
    EXPECT_EQ(rigctld.rigctl(u"t"_s), u"0"_s);

    // Keyed again by another client: closing the link releases it.
    EXPECT_TRUE(link->SetPtt(true));
    link.reset();
    EXPECT_EQ(rigctld.rigctl(u"t"_s), u"0"_s);
}

TEST_F(HamlibRigctld, BusyFollowsTheRigSquelchOrTheChosenSource) {
    std::unique_ptr<HamlibLink> link = open();
    ASSERT_TRUE(link);
    // The dummy rig's squelch opens and closes on every read, by any client.
    const bool openNext = rigctld.rigctl(u"get_dcd"_s) == u"0"_s;
    EXPECT_EQ(link->LinkBusy(), openNext);
    EXPECT_EQ(link->LinkBusy(), !openNext);
    EXPECT_EQ(link->LinkBusy(), openNext);

    LinkSettings never = hamlibSettings(NetRigctl, rigctld.address());
    never.dcdType = BusyLine::None;
    QString error;
    link = HamlibLink::open(never, &error, Quick);
    ASSERT_TRUE(link) << qPrintable(error);
    for (int read = 0; read < 3; ++read)
        EXPECT_EQ(link->LinkBusy(), false);

    LinkSettings audio = hamlibSettings(NetRigctl, rigctld.address());
    audio.dcdType = BusyLine::Audio;
    link = HamlibLink::open(audio, &error, Quick);
    ASSERT_TRUE(link) << qPrintable(error);
    EXPECT_TRUE(link->busyFromAudio());
    EXPECT_EQ(link->LinkBusy(), std::nullopt); // nothing connected yet: unknown, so counted as busy
    std::optional<bool> level = true;
    link->setBusySource([&level] { return level; });
    EXPECT_EQ(link->LinkBusy(), true);
    level = false;
    EXPECT_EQ(link->LinkBusy(), false);
    level.reset();
    EXPECT_EQ(link->LinkBusy(), std::nullopt);
}

TEST_F(HamlibRigctld, LostRigctldFailsAtOnceQuietlyAndIsFoundAgain) {
    std::unique_ptr<HamlibLink> link = open();
    ASSERT_TRUE(link);
    ASSERT_TRUE(link->SetPtt(true));
    rigctld.stop();

    LinkWarnings warnings;
    QElapsedTimer took;
    took.start();
    for (int second = 0; second < 5; ++second) {
        EXPECT_FALSE(link->SetPtt(false));
        EXPECT_EQ(link->LinkBusy(), std::nullopt);
    }
    EXPECT_LT(took.elapsed(), 1000);
    // One line for each kind of call that failed, not one per call.
    ASSERT_EQ(warnings.lines.size(), 2) << qPrintable(warnings.lines.join(u'\n'));
    EXPECT_TRUE(warnings.lines[0].startsWith(u"hamlib PTT failed: "_s)) << qPrintable(warnings.lines[0]);
    EXPECT_TRUE(warnings.lines[1].startsWith(u"hamlib busy state failed: "_s))
        << qPrintable(warnings.lines[1]);

    ASSERT_TRUE(rigctld.start(rigctld.port()));
    QThread::msleep(150); // past the reopen interval
    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_EQ(rigctld.rigctl(u"t"_s), u"1"_s);
    EXPECT_TRUE(link->LinkBusy().has_value());
}

TEST_F(HamlibRigctld, StalledRigctldCostsOneTimeoutPerCall) {
    std::unique_ptr<HamlibLink> link = open();
    ASSERT_TRUE(link);
    rigctld.pause();

    QElapsedTimer took;
    took.start();
    EXPECT_FALSE(link->SetPtt(true));
    EXPECT_LT(took.restart(), 900);
    // Until the next attempt to reconnect, calls fail without waiting again.
    EXPECT_EQ(link->LinkBusy(), std::nullopt);
    EXPECT_LT(took.restart(), 100);

    // The replies held up meanwhile must not be taken for answers to later commands.
    rigctld.resume();
    QThread::msleep(150);
    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_TRUE(link->LinkBusy().has_value());
    EXPECT_EQ(rigctld.rigctl(u"t"_s), u"1"_s);
}

// The process ends without destructors: only the at_quick_exit handler can release.
[[noreturn]] void keyAndEnd(const QString& address, bool quickExit) {
    QString error;
    std::unique_ptr<HamlibLink> link = HamlibLink::open(hamlibSettings(NetRigctl, address), &error);
    if (!link || !link->SetPtt(true))
        std::_Exit(3);
    if (quickExit)
        std::quick_exit(0);
    std::_Exit(0);
}

using HamlibRigctldDeathTest = HamlibRigctld;

TEST_F(HamlibRigctldDeathTest, QuickExitReleasesTheTransmitter) {
    // Without the handler the rig stays keyed: rigctld does not release for a client that left.
    EXPECT_EXIT(keyAndEnd(rigctld.address(), false), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(rigctld.rigctl(u"t"_s), u"1"_s);

    EXPECT_EXIT(keyAndEnd(rigctld.address(), true), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(rigctld.rigctl(u"t"_s), u"0"_s);
}

TEST_F(HamlibRigctld, StartFailsWhenThePttOrSquelchCannotBeUsed) {
    QString error;
    LinkSettings settings = hamlibSettings(NetRigctl, rigctld.address());
    settings.rigSpeed = 9600; // a network model has no serial speed
    EXPECT_EQ(HamlibLink::open(settings, &error), nullptr);
    EXPECT_TRUE(error.contains(u"RIG_SPEED=9600"_s)) << qPrintable(error);

    // This rigctld's dummy rig has no PTT at all.
    Rigctld noPtt(QStringList{});
    ASSERT_TRUE(noPtt.start());
    EXPECT_EQ(HamlibLink::open(hamlibSettings(NetRigctl, noPtt.address()), &error), nullptr);
    EXPECT_TRUE(error.contains(u"PTT_TYPE=RIG"_s) && error.contains(noPtt.address())) << qPrintable(error);
    settings = hamlibSettings(NetRigctl, noPtt.address());
    settings.pttType = PttLine::None; // keyed by VOX: nothing to key, nothing that fails
    auto link = HamlibLink::open(settings, &error);
    ASSERT_TRUE(link) << qPrintable(error);
    EXPECT_TRUE(link->SetPtt(true));
}

TEST(HamlibUnreachable, FactoryFailsFastNamingTheAddress) {
    // Refused: nobody listens on the port.
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    const QString refused = u"127.0.0.1:%1"_s.arg(port);
    QString error;
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(createLink(hamlibSettings(NetRigctl, refused), &error), nullptr);
    EXPECT_LT(took.elapsed(), 2000);
    EXPECT_TRUE(error.contains(refused) && error.contains(u"rigctld"_s)) << qPrintable(error);
    EXPECT_FALSE(error.contains(u'\n')) << qPrintable(error);

    // Silent: the connection is taken but no answer ever comes.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const QString address = u"127.0.0.1:%1"_s.arg(silent.serverPort());
    took.restart();
    EXPECT_EQ(createLink(hamlibSettings(NetRigctl, address), &error), nullptr);
    EXPECT_LT(took.elapsed(), 2000);
    EXPECT_TRUE(error.contains(address)) << qPrintable(error);
}

TEST(HamlibDummy, InProcessRigKeysReadsAndDescribesItself) {
    QString error;
    std::unique_ptr<Link> link = createLink(hamlibSettings(Dummy), &error);
    ASSERT_TRUE(link) << qPrintable(error);
    EXPECT_EQ(link->InfoObject().InfoText(), u"hamlib Dummy (no port)"_s);
    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_TRUE(link->SetPtt(false));
    const std::optional<bool> first = link->LinkBusy();
    const std::optional<bool> second = link->LinkBusy();
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);

    EXPECT_EQ(createLink(hamlibSettings(999999), &error), nullptr);
    EXPECT_TRUE(error.contains(u"RIG_MODEL"_s) && error.contains(u"999999"_s)) << qPrintable(error);
}

TEST(FailureReport, OneLinePerIntervalAndOneWhenItWorksAgain) {
    qint64 now = 0;
    FailureReport report(u"hamlib PTT"_s, 60000, [&now] { return now; });
    EXPECT_EQ(report.succeeded(), std::nullopt);

    EXPECT_EQ(report.failed(u"IO error"_s), u"hamlib PTT failed: IO error"_s);
    for (int second = 1; second < 60; ++second) {
        now = second * 1000;
        EXPECT_EQ(report.failed(u"IO error"_s), std::nullopt);
    }
    now = 60000;
    EXPECT_EQ(report.failed(u"Communication timed out"_s),
              u"hamlib PTT failed 60 times since the last report, now: Communication timed out"_s);
    EXPECT_EQ(report.succeeded(), u"hamlib PTT works again"_s);
    EXPECT_EQ(report.succeeded(), std::nullopt);

    // A rig that fails every other call: still one failure line per interval, and no news of
    // recoveries from failures that were never reported.
    int lines = 0;
    for (int second = 61; second <= 180; ++second) {
        now = second * 1000;
        lines += report.failed(u"IO error"_s).has_value();
        lines += report.succeeded().has_value();
    }
    EXPECT_EQ(lines, 4); // at 120 s and 180 s: a failure and its recovery
}

} // namespace
