// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkProtocol.h"
#include "SocketLink.h"
#include "TempDir.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace LinkProtocol;

namespace {

// One line from a peer, and what the link makes of it.
TEST(LinkProtocol, LinesAndWhatTheyMean) {
    const struct {
        QByteArray line;
        Command command;
    } cases[] = {
        {"DTMF 123", Dtmf{u"123"_s}},
        {"DTMF 123\r", Dtmf{u"123"_s}},
        {"DTMF 1 ", Dtmf{u"1 "_s}},
        {"DTMF", Error{u"DTMF needs a blank and a sequence"_s}},
        {"BUSY 1", Busy{true}},
        {"BUSY 0\r", Busy{false}},
        {"BUSY 2", Error{u"BUSY takes 0 or 1"_s}},
        {"CLOSE", Close{}},
        {"CLOSE now", Error{u"CLOSE takes no argument"_s}},
        {"", Ignore{}},
        {"dtmf 1", Error{u"unknown command \"dtmf\""_s}},
        {QByteArray("DTMF 1\0", 7), Error{u"NUL byte in line"_s}},
        {"DTMF \xff", Error{u"line is not valid UTF-8"_s}},
        // An echoed word is cut between characters, never inside one.
        {QByteArray(31, 'x') + "\xf0\x9f\x93\xbb",
         Error{u"unknown command \"%1...\""_s.arg(QString(31, u'x'))}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        EXPECT_TRUE(parseLine(c.line) == c.command);
    }
}

TEST(LinkProtocol, LinesUpToTheLimitPassLongerOnesDropThePeer) {
    for (const auto& [length, result] : {std::pair{MaxLineBytes, LineSplitter::Result::Line},
                                         std::pair{MaxLineBytes + 1, LineSplitter::Result::TooLong}}) {
        LineSplitter splitter;
        splitter.append(QByteArray(length, 'x') + "\r\n");
        QByteArray line;
        EXPECT_EQ(splitter.next(&line), result) << length;
    }
}

// A peer of the socket link, reading what the link says.
struct Peer {
    explicit Peer(const QString& path) {
        socket.connectToServer(path);
        socket.waitForConnected(2000);
    }
    // What the link has said since the last call; waits for the first byte, at most a second.
    QByteArray said() {
        if (QTest::qWaitFor([&] { return socket.bytesAvailable() > 0; }, 1000))
            QTest::qWait(20); // the rest of what came with it
        return socket.readAll();
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
        QTest::qWait(50);
    }
    QLocalSocket socket;
};

TEST(SocketLink, GreetsEveryPeerAndIsBusyWhileAnyPeerSaysSo) {
    TempDir dir;
    QString error;
    const auto link = SocketLink::listen(dir.file(u"s/link.sock"_s), {}, &error);
    ASSERT_TRUE(link) << error.toStdString();
    EXPECT_EQ(link->LinkBusy(), false) << "no peer, not busy";
    Peer a(link->path()), b(link->path());
    EXPECT_EQ(a.said(), "INFO socket " + link->path().toUtf8() + "\nPTT 0\n");
    QSignalSpy dtmf(link.get(), &Link::DTMFString);
    b.send("BUSY 1\nDTMF 42\n");
    EXPECT_EQ(link->LinkBusy(), true);
    EXPECT_EQ(dtmf.size(), 1);
    link->SetPtt(true);
    EXPECT_EQ(a.said(), "PTT 1\n");
    b.socket.abort(); // a peer gone while busy holds nothing back
    QTest::qWait(50);
    EXPECT_EQ(link->LinkBusy(), false);
}

// A peer that misbehaves is told why and dropped; the others are served on.
TEST(SocketLink, MisbehavingPeersAreDropped) {
    TempDir dir;
    QString error;
    const auto link = SocketLink::listen(dir.file(u"link.sock"_s), {}, &error);
    ASSERT_TRUE(link) << error.toStdString();
    const struct {
        const char* name;
        QByteArray sent;
        QByteArray told;
    } cases[] = {
        {"endless line", QByteArray(MaxLineBytes + 2, 'x'), "ERR line too long\n"},
        {"flood", QByteArray("BUSY 0\n").repeated(SocketLink::FloodLines + 1), "ERR flood\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Peer peer(link->path());
        peer.said();
        peer.send(c.sent);
        EXPECT_TRUE(peer.said().endsWith(c.told));
        EXPECT_EQ(peer.socket.state(), QLocalSocket::UnconnectedState);
    }
    std::vector<std::unique_ptr<Peer>> many;
    for (int i = 0; i <= SocketLink::MaxClients; ++i)
        many.push_back(std::make_unique<Peer>(link->path()));
    EXPECT_EQ(many.back()->said(), "ERR too many clients\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return link->clientCount() == SocketLink::MaxClients; }, 1000));
}

// A backlog of requests is handled a batch per turn, so the timers keep their time.
TEST(SocketLink, ABacklogIsHandledInTurns) {
    TempDir dir;
    const auto link = SocketLink::listen(dir.file(u"link.sock"_s), {}, nullptr);
    ASSERT_TRUE(link);
    Peer peer(link->path());
    QSignalSpy dtmf(link.get(), &Link::DTMFString);
    peer.socket.write(QByteArray("DTMF 1\n").repeated(300));
    peer.socket.waitForBytesWritten(1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dtmf.isEmpty(); }, 2000));
    EXPECT_LE(dtmf.size(), SocketLink::LinesPerTurn);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dtmf.size() == 300; }, 2000));
}

// A peer that writes its lines and hangs up at once loses none of them, though its greeting
// can no longer be written.
TEST(SocketLink, APeerThatHangsUpAtOnceIsHeard) {
    TempDir dir;
    const auto link = SocketLink::listen(dir.file(u"link.sock"_s), {}, nullptr);
    ASSERT_TRUE(link);
    QSignalSpy dtmf(link.get(), &Link::DTMFString), closing(link.get(), &Link::Closing);
    {
        QLocalSocket peer;
        peer.connectToServer(link->path());
        ASSERT_TRUE(peer.waitForConnected(1000));
        peer.write("DTMF 42\nCLOSE\n");
        peer.waitForBytesWritten(1000);
    }
    QTest::qWait(100);
    EXPECT_EQ(dtmf.size(), 1);
    EXPECT_EQ(closing.size(), 1);
}

TEST(SocketLink, RefusesAPathInUse) {
    TempDir dir;
    const QString path = dir.write(u"link.sock"_s, "a file");
    QString error;
    EXPECT_FALSE(SocketLink::listen(path, {}, &error));
    EXPECT_TRUE(error.contains(u"not a socket"_s)) << error.toStdString();
    const auto first = SocketLink::listen(dir.file(u"other.sock"_s), {}, nullptr);
    EXPECT_FALSE(SocketLink::listen(dir.file(u"other.sock"_s), {}, &error));
    EXPECT_TRUE(error.contains(u"already runs this station"_s)) << error.toStdString();
}

} // namespace
