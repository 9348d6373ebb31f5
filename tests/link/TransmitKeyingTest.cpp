#include "TransmitKeying.h"
#include "ClipPlayer.h"
#include "FakeGraph.h"
#include "FakeLink.h"
#include "FakePanel.h"

#include <gtest/gtest.h>

namespace {

// One watchdog tick a second over an announcement's life: idle, two clips, the final clip.
TEST(TransmitKeying, TheWatchdogReleasesOnlyWhenTheLastClipHasEnded) {
    FakeLink link;
    FakePanel panel;
    FakeGraphFactory graphs;
    ClipPlayer player(graphs);
    TransmitKeying keying(link, panel);
    int announceBusy = 0;
    const auto tick = [&] {
        link.calls.clear();
        keying.Beacon8_Timer(panel.ClipEnded(), announceBusy);
        return link.calls;
    };
    const QStringList released{QStringLiteral("SetPtt 0")};
    QString error;

    EXPECT_EQ(tick(), released) << "right after start-up both texts read 00:00:00";
    EXPECT_EQ(tick(), released) << "and again every second while idle";

    announceBusy = 1;
    keying.PttOn();
    ASSERT_TRUE(player.LoadClip(QStringLiteral("/v/TheTimeIs.wav"), panel, &error));
    player.StartClip();
    RefreshProgress(player, panel);
    EXPECT_TRUE(tick().isEmpty()) << "while a clip plays";
    graphs.current()->finish();
    RefreshProgress(player, panel);
    EXPECT_TRUE(tick().isEmpty()) << "between two clips: the announcement has clips left";

    ASSERT_TRUE(player.LoadClip(QStringLiteral("/v/Blank.wav"), panel, &error));
    announceBusy = 0;
    panel.SetText2(QStringLiteral("00:00:00"));
    player.StartClip();
    RefreshProgress(player, panel);
    EXPECT_TRUE(tick().isEmpty()) << "the final clip still plays, whatever AnnounceBusy holds";
    EXPECT_TRUE(panel.pttShown);

    graphs.current()->finish();
    RefreshProgress(player, panel);
    EXPECT_EQ(tick(), released);
    EXPECT_FALSE(panel.pttShown);
    EXPECT_FALSE(link.keyed);
}

TEST(TransmitKeying, IndicatorAndLinkChangeTogether) {
    FakeLink link;
    FakePanel panel;
    TransmitKeying keying(link, panel);
    EXPECT_TRUE(keying.PttOn());
    EXPECT_TRUE(panel.pttShown);
    EXPECT_TRUE(link.keyed);
    link.failCalls = true;
    EXPECT_FALSE(keying.PttOff()) << "a failed release is reported";
    EXPECT_FALSE(panel.pttShown) << "the indicator shows what the program asked for";
}

} // namespace
