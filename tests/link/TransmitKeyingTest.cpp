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

TEST(TransmitKeying, ATransmitterKeyedTooLongIsReleasedAndTheAnnouncementEnded) {
    FakeLink link;
    FakePanel panel;
    qint64 now = 0;
    int ended = 0;
    TransmitKeying keying(link, panel,
                          TransmitTimeout{180, [&] { return now; },
                                          [&] {
                                              ++ended;
                                          }});
    const auto tickAt = [&](qint64 seconds) {
        now = seconds * 1000;
        keying.Beacon8_Timer(false, 1);
    };

    keying.PttOn();
    tickAt(100);
    keying.PttOn(); // keying again for the next clip does not restart the count
    tickAt(179);
    EXPECT_TRUE(link.keyed);
    EXPECT_EQ(ended, 0);
    tickAt(180);
    EXPECT_FALSE(link.keyed);
    EXPECT_FALSE(panel.pttShown);
    EXPECT_EQ(ended, 1);
    tickAt(500);
    EXPECT_EQ(ended, 1) << "once released, nothing more to end";

    // A release restarts the count.
    keying.PttOn();
    tickAt(600);
    keying.PttOff();
    keying.PttOn();
    tickAt(779);
    EXPECT_TRUE(link.keyed);
    tickAt(780);
    EXPECT_FALSE(link.keyed);
}

TEST(TransmitKeying, NoLimitWhenTheTimeOutIsZero) {
    FakeLink link;
    FakePanel panel;
    qint64 now = 0;
    TransmitKeying keying(link, panel, TransmitTimeout{0, [&] { return now; }, {}});
    keying.PttOn();
    now = 48LL * 3600 * 1000;
    keying.Beacon8_Timer(false, 1);
    EXPECT_TRUE(link.keyed);
}

} // namespace
