// SPDX-License-Identifier: GPL-3.0-or-later
#include "HamlibLink.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

// What rigctl, a separate client, reads from the rig at `address`: "1" or "0" for the PTT.
QString rigctl(const QString& address, const QString& command) {
    QProcess client;
    client.start(u"rigctl"_s, {u"-m"_s, u"2"_s, u"-r"_s, address, command});
    client.waitForFinished(5000);
    return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
}

// Hamlib's dummy rig behind rigctld: the link keys and releases it over the network model, also
// under a numeric locale whose name hamlib must not keep (it frees it on its switch to "C").
TEST(HamlibLink, KeysAndReleasesARigBehindRigctld) {
    if (QStandardPaths::findExecutable(u"rigctld"_s).isEmpty())
        GTEST_SKIP() << "no rigctld (Debian package libhamlib-utils)";
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const QString port = QString::number(probe.serverPort());
    probe.close();
    QProcess rigctld;
    rigctld.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    rigctld.start(u"rigctld"_s, {u"-m"_s, u"1"_s, u"-T"_s, u"127.0.0.1"_s, u"-t"_s, port, u"-P"_s, u"RIG"_s});
    ASSERT_TRUE(rigctld.waitForStarted());
    const QString address = u"127.0.0.1:"_s + port;
    ASSERT_TRUE(QTest::qWaitFor([&] { return rigctl(address, u"t"_s) == u"0"_s; }, 5000));

    std::setlocale(LC_NUMERIC, "C.UTF-8");
    LinkSettings settings;
    settings.backend = u"hamlib"_s;
    settings.rigPort = address;
    settings.dcdType = BusyLine::None;
    QString error;
    auto link = HamlibLink::open(settings, &error);
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_TRUE(link) << error.toStdString();
    EXPECT_TRUE(link->SetPtt(true));
    EXPECT_EQ(rigctl(address, u"t"_s), u"1"_s);
    EXPECT_EQ(link->LinkBusy(), false);
    link.reset(); // the destructor releases
    EXPECT_EQ(rigctl(address, u"t"_s), u"0"_s);

    rigctld.kill();
    rigctld.waitForFinished();
    EXPECT_FALSE(HamlibLink::open(settings, &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
