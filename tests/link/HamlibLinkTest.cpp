// SPDX-License-Identifier: GPL-3.0-or-later
#include "HamlibLink.h"
#include "Rigctld.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace Qt::StringLiterals;

namespace {

// Hamlib's dummy rig behind rigctld: the link keys and releases it over the network model, also
// under a numeric locale whose name hamlib must not keep (it frees it on its switch to "C").
TEST(HamlibLink, KeysAndReleasesARigBehindRigctld) {
    if (!Rigctld::available())
        GTEST_SKIP() << "no rigctld (Debian package libhamlib-utils)";
    Rigctld rigctld;
    ASSERT_TRUE(rigctld.ready);
    const QString& address = rigctld.address;

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
    EXPECT_EQ(rigctld.ptt(), u"1"_s);
    EXPECT_EQ(link->LinkBusy(), false);
    link.reset(); // the destructor releases
    EXPECT_EQ(rigctld.ptt(), u"0"_s);

    rigctld.stop();
    EXPECT_FALSE(HamlibLink::open(settings, &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
