#include "SocketLink.h"

#include "TempDir.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Only reached when something is wrong; the passing path never waits this long.
constexpr int WaitMs = 2000;

// A well-behaved peer: a QLocalSocket served by the same event loop as the link.
class Peer {
public:
    explicit Peer(const QString& path) { socket.connectToServer(path); }

    // The next line without its LF; empty when none came.
    QByteArray line() {
        if (!QTest::qWaitFor([&] { return socket.canReadLine(); }, WaitMs))
            return {};
        QByteArray next = socket.readLine();
        next.chop(1);
        return next;
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    bool waitDisconnected() {
        return QTest::qWaitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; }, WaitMs);
    }

    QLocalSocket socket;
};

// A peer on a bare file descriptor, for what a QLocalSocket would not do: never read, or
// read without an event loop.
class RawPeer {
public:
    explicit RawPeer(const QString& path)
        : fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_un address = addressOf(path);
        EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    ~RawPeer() { ::close(fd); }

    // Whatever has already reached the kernel, without waiting.
    QByteArray pending() const {
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

    static sockaddr_un addressOf(const QString& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
        return address;
    }

    int fd;
};

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

class SocketLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        link = SocketLink::listen(path(), QString(), &error);
        ASSERT_TRUE(link) << qPrintable(error);
    }

    QString path() const { return dir.file(u"link.sock"_s); }

    // Connected and past the greeting.
    std::unique_ptr<Peer> greetedPeer() {
        auto peer = std::make_unique<Peer>(path());
        EXPECT_TRUE(peer->line().startsWith("INFO "));
        EXPECT_TRUE(peer->line().startsWith("PTT "));
        return peer;
    }

    bool waitClients(int count) {
        return QTest::qWaitFor([&] { return link->clientCount() == count; }, WaitMs);
    }

    TempDir dir;
    QString error;
    std::unique_ptr<SocketLink> link;
};

TEST_F(SocketLinkTest, GreetsEveryPeerWithInfoAndTheLastPttState) {
    EXPECT_EQ(link->InfoObject().InfoText(), u"socket "_s + path());
    Peer first(path());
    EXPECT_EQ(first.line(), "INFO socket " + QFile::encodeName(path()));
    EXPECT_EQ(first.line(), "PTT 0");

    link->SetPtt(true);
    Peer second(path());
    EXPECT_EQ(second.line(), "INFO socket " + QFile::encodeName(path()));
    EXPECT_EQ(second.line(), "PTT 1");
}

TEST_F(SocketLinkTest, BroadcastsEveryPttCallAndTheAcknowledgement) {
    auto a = greetedPeer();
    auto b = greetedPeer();
    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_TRUE(link->SetPtt(false));
    EXPECT_TRUE(link->AcknowledgeClosing(0));
    for (Peer* peer : {a.get(), b.get()}) {
        EXPECT_EQ(peer->line(), "PTT 1");
        EXPECT_EQ(peer->line(), "PTT 1");
        EXPECT_EQ(peer->line(), "PTT 0");
        EXPECT_EQ(peer->line(), "ACK");
    }
}

TEST_F(SocketLinkTest, LastLinesReachThePeerWithoutTheEventLoop) {
    RawPeer peer(path());
    ASSERT_TRUE(waitClients(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return peer.pending().endsWith("PTT 0\n"); }, WaitMs));

    // What the closing path does right before _exit: no event loop runs after these calls.
    link->SetPtt(false);
    link->AcknowledgeClosing(0);
    EXPECT_EQ(peer.pending(), "PTT 0\nACK\n");
}

TEST_F(SocketLinkTest, PeerCommandsReachSignalsAndBusyState) {
    QSignalSpy dtmf(link.get(), &Link::DTMFString);
    QSignalSpy closing(link.get(), &Link::Closing);
    EXPECT_EQ(link->LinkBusy(), std::optional<bool>(false));

    auto peer = greetedPeer();
    peer->send("DTMF 123 \r\nDTMF \n\nBUSY 1\r\n");
    peer->send("CLOSE\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return closing.count() == 1; }, WaitMs));
    ASSERT_EQ(dtmf.count(), 2);
    EXPECT_EQ(dtmf.at(0).at(0).toString(), u"123 "_s);
    EXPECT_EQ(dtmf.at(1).at(0).toString(), QString());
    EXPECT_EQ(link->LinkBusy(), std::optional<bool>(true));

    peer->send("BUSY 0\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return link->LinkBusy() == false; }, WaitMs));

    // Busy belongs to the peer that reported it: it ends when that peer goes.
    auto other = greetedPeer();
    other->send("BUSY 1\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return link->LinkBusy() == true; }, WaitMs));
    other.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return link->LinkBusy() == false; }, WaitMs));

    // None of it was answered with an error.
    link->SetPtt(true);
    EXPECT_EQ(peer->line(), "PTT 1");
}

TEST_F(SocketLinkTest, ErrorsGoOnlyToTheSenderWhichStaysConnected) {
    QSignalSpy dtmf(link.get(), &Link::DTMFString);
    auto sender = greetedPeer();
    auto bystander = greetedPeer();

    sender->send(QByteArray("dtmf 1\nBUSY 2\nDTMF\nDTMF \xff\nDTMF 1\0"
                            "2\n",
                            36));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(sender->line().startsWith("ERR ")) << i;
    EXPECT_EQ(dtmf.count(), 0);
    EXPECT_EQ(link->LinkBusy(), std::optional<bool>(false));

    link->SetPtt(true);
    EXPECT_EQ(bystander->line(), "PTT 1");
    EXPECT_EQ(sender->line(), "PTT 1");
}

TEST_F(SocketLinkTest, OverlongLinesDropOnlyTheirSender) {
    QSignalSpy dtmf(link.get(), &Link::DTMFString);
    auto bystander = greetedPeer();

    const QByteArray longestSequence(4096 - 5, '1');
    bystander->send("DTMF " + longestSequence + "\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dtmf.count() == 1; }, WaitMs));
    EXPECT_EQ(dtmf.at(0).at(0).toString().size(), longestSequence.size());

    for (const QByteArray& flood : {QByteArray("DTMF " + longestSequence + "1\n"), QByteArray(5000, '9')}) {
        auto offender = greetedPeer();
        offender->send(flood);
        EXPECT_EQ(offender->line(), "ERR line too long");
        EXPECT_TRUE(offender->waitDisconnected());
        EXPECT_TRUE(waitClients(1));
    }

    bystander->send("DTMF 2\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dtmf.count() == 2; }, WaitMs));
    EXPECT_EQ(dtmf.at(1).at(0).toString(), u"2"_s);
}

TEST_F(SocketLinkTest, FloodingPeerIsDropped) {
    QSignalSpy dtmf(link.get(), &Link::DTMFString);
    auto peer = greetedPeer();
    QByteArray burst = QByteArray("BUSY 0\n").repeated(SocketLink::FloodLines - 1) + "DTMF 1\n";
    peer->send(burst);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dtmf.count() == 1; }, WaitMs));
    EXPECT_EQ(link->clientCount(), 1);

    peer->send("DTMF 2\n");
    EXPECT_EQ(peer->line(), "ERR flood");
    EXPECT_TRUE(peer->waitDisconnected());
    EXPECT_EQ(dtmf.count(), 1); // the line over the limit was not obeyed
}

TEST_F(SocketLinkTest, PeerThatDoesNotReadIsDroppedOthersKeepGoing) {
    auto reader = greetedPeer();
    RawPeer sluggish(path());
    ASSERT_TRUE(waitClients(2));

    int calls = 0;
    while (link->clientCount() == 2 && calls < 1000000) {
        link->SetPtt(calls % 2 == 0);
        if (++calls % 1000 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_EQ(link->clientCount(), 1);
    // More than the output bound had to pile up before the drop; the kernel took some too.
    EXPECT_GT(qsizetype(calls) * 6, SocketLink::MaxPendingOutput);
    QCoreApplication::processEvents();
    EXPECT_EQ(reader->socket.state(), QLocalSocket::ConnectedState);
}

TEST_F(SocketLinkTest, PeerHangingUpKeepsItsWholeLinesOnly) {
    QSignalSpy dtmf(link.get(), &Link::DTMFString);
    {
        auto peer = greetedPeer();
        peer->send("DTMF 1\nDTMF 2");
        peer->socket.disconnectFromServer();
        EXPECT_TRUE(waitClients(0));
    }
    QTest::qWait(10);
    ASSERT_EQ(dtmf.count(), 1);
    EXPECT_EQ(dtmf.at(0).at(0).toString(), u"1"_s);

    auto next = greetedPeer();
    next->send("DTMF 3\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return dtmf.count() == 2; }, WaitMs));
}

TEST_F(SocketLinkTest, PeerVanishingBeforeABroadcastDoesNotHurt) {
    auto peer = std::make_unique<RawPeer>(path());
    ASSERT_TRUE(waitClients(1));
    peer.reset();
    // The link has not noticed yet; writing to the dead socket must not raise SIGPIPE.
    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_TRUE(link->AcknowledgeClosing(0));
    EXPECT_TRUE(waitClients(0));
}

TEST_F(SocketLinkTest, HandlerMayDestroyTheLink) {
    int seen = 0;
    QObject::connect(link.get(), &Link::DTMFString, [&] {
        ++seen;
        link.reset();
    });
    auto peer = greetedPeer();
    peer->send("DTMF 1\nDTMF 2\nCLOSE\n");
    EXPECT_TRUE(peer->waitDisconnected());
    EXPECT_EQ(seen, 1);
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(SocketLinkTest, HandlerMaySpinAnEventLoopWhileItsPeerHangsUp) {
    QStringList seen;
    int depth = 0;
    int deepest = 0;
    auto peer = greetedPeer();
    QObject::connect(link.get(), &Link::DTMFString, [&](const QString& sequence) {
        seen.append(sequence);
        deepest = std::max(deepest, ++depth);
        if (seen.size() == 1) {
            // Like a modal box: more input arrives and the peer leaves while this handler runs.
            peer->send("DTMF 2\nDTMF 3\n");
            peer->socket.disconnectFromServer();
            QTest::qWait(50);
        }
        --depth;
    });
    peer->send("DTMF 1\n");
    EXPECT_TRUE(waitClients(0));
    QTest::qWait(10);
    // Nothing lost, in order, and one peer's lines are never handled inside each other.
    EXPECT_EQ(seen, (QStringList{u"1"_s, u"2"_s, u"3"_s}));
    EXPECT_EQ(deepest, 1);
}

TEST(SocketLinkPath, SocketFileIsReplacedOnlyWhenNobodyAnswers) {
    TempDir dir;
    const QString path = dir.file(u"link.sock"_s);
    {
        // Bound and never listened on: what a killed run leaves behind.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = RawPeer::addressOf(path);
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    QString error;
    auto first = SocketLink::listen(path, QString(), &error);
    ASSERT_TRUE(first) << qPrintable(error);

    EXPECT_EQ(SocketLink::listen(path, QString(), &error), nullptr);
    EXPECT_TRUE(error.contains(path)) << qPrintable(error);
    Peer peer(path); // the refused attempt left the running link's socket alone
    EXPECT_TRUE(peer.line().startsWith("INFO "));
}

TEST(SocketLinkPath, NonSocketFileIsNeverDeleted) {
    TempDir dir;
    const QString path = dir.write(u"link.sock"_s, "keep me");
    QString error;
    EXPECT_EQ(SocketLink::listen(path, QString(), &error), nullptr);
    EXPECT_TRUE(error.contains(path)) << qPrintable(error);
    EXPECT_EQ(dir.read(u"link.sock"_s), "keep me");
}

TEST(SocketLinkPath, MissingFoldersAreCreatedPrivateExistingOnesLeftAlone) {
    TempDir dir;
    QString error;
    const QString deep = dir.file(u"a/b/link.sock"_s);
    auto link = SocketLink::listen(deep, QString(), &error);
    ASSERT_TRUE(link) << qPrintable(error);
    EXPECT_EQ(modeOf(dir.file(u"a"_s)), 0700u);
    EXPECT_EQ(modeOf(dir.file(u"a/b"_s)), 0700u);

    ASSERT_TRUE(QDir().mkdir(dir.file(u"open"_s)));
    ::chmod(QFile::encodeName(dir.file(u"open"_s)).constData(), 0755);
    auto other = SocketLink::listen(dir.file(u"open/link.sock"_s), QString(), &error);
    ASSERT_TRUE(other) << qPrintable(error);
    EXPECT_EQ(modeOf(dir.file(u"open"_s)), 0755u);
}

} // namespace
