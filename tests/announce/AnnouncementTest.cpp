// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QStringList clips(const QString& stems, const QString& extension = u".wav"_s) {
    QStringList files = stems.split(u' ');
    for (QString& file : files)
        file += extension;
    return files;
}

// What an announcement says for the window's settings and the time on the clock, to the button
// or, where marked, to the DTMF code; the next one says the same.
TEST(Announcement, ChainsFollowTheSettingsAndTheClock) {
    const struct {
        const char *settings, *time, *heard;
        bool dtmf = false;
    } cases[] = {
        {"", "14:15", "GoodEvening TheTimeIs 14 Hour 15 Minutes Blank"},
        {"CHECK1=0 OPTION9=False AMPM=1", "14:15", "DingDong TheTimeIs 14 15 PM"},
        {"OPTION6=True OPTION9=False OPTION7=False OPTION10=True OPTIONMP3=True OPTIONWAV=False", "14:15",
         "DingDong2 TheTimeIs 14 Hour 15 Minutes Blank"},
        {"OPTION1=True OPTION2=False AMPM=1", "00:30", "GoodMorning TheTimeIs 12 Hour 30 Minutes AM"},
        {"OPTION1=True OPTION2=False AMPM=1", "12:05", "GoodEvening TheTimeIs 12 Hour 05 Minutes PM"},
        {"", "11:59", "GoodMorning TheTimeIs 11 Hour 59 Minutes Blank"},
        {"", "17:59", "GoodEvening TheTimeIs 17 Hour 59 Minutes Blank"},
        {"", "18:00", "GoodAfternoon TheTimeIs 18 Hour 00 Minutes Blank"},
        {"CHECK1=0", "23:45", "GoodAfternoon TheTimeIs 23 45 Blank", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.settings) + " at " + c.time);
        const QString settings = QString::fromLatin1(c.settings);
        Station station({.settings = settings.split(u' ')});
        station.tickAt(QTime::fromString(QLatin1String(c.time), u"hh:mm"_s).addSecs(30));
        const QStringList heard =
            clips(QLatin1String(c.heard), settings.contains(u"MP3=True"_s) ? u".mp3"_s : u".wav"_s);
        for (int run = 0; run < 2; ++run) {
            if (c.dtmf)
                station.link->sendDtmf(u"123"_s);
            else
                station.window().hora_rf_Click();
            EXPECT_EQ(station.playOut(), heard);
            EXPECT_FALSE(station.releasedEarly());
            EXPECT_FALSE(station.link->keyed) << "the watchdog releases after the last clip";
        }
    }
}

TEST(Announcement, EveryClipPlaysAtTheVolumeAndSpeedOfTheBars) {
    Station station;
    station.ui().V1->setValue(-1500);
    station.ui().V2->setValue(150);
    EXPECT_EQ(station.announce().size(), 7);
    for (const auto& [volume, rate] : station.levels) {
        EXPECT_EQ(volume, -1500);
        EXPECT_EQ(rate, 1.5);
    }
}

// Only the exact code starts an announcement.
TEST(Announcement, DtmfCodeMatchesExactly) {
    const struct {
        QString sent;
        bool starts;
    } cases[] = {
        {u"123"_s, true}, {u" 123"_s, false}, {u"123 "_s, false}, {u"1234"_s, false}, {u"12"_s, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent.toStdString());
        Station station;
        station.link->sendDtmf(c.sent);
        EXPECT_EQ(station.announcing(), c.starts);
    }
}

// A clip that cannot load ends the announcement at once, tells the operator which file, falls
// back to the English voice in WAV, and the next announcement plays in full.
TEST(Announcement, AMissingClipReleasesAndTheNextAnnouncementPlays) {
    Station station(
        {.settings = {u"OPTIONWAV=False"_s, u"OPTIONMP3=True"_s, u"OPTION7=False"_s, u"OPTION10=True"_s}});
    const QString hour = station.voiceFolder() + u"Hour.mp3"_s;
    station.fakes.missing << hour;
    EXPECT_EQ(station.announce(), clips(u"GoodEvening TheTimeIs 14"_s, u".mp3"_s));
    EXPECT_FALSE(station.link->keyed);
    EXPECT_EQ(station.link->calls.last(), u"SetPtt 0"_s);
    ASSERT_EQ(station.dialogs.shown.size(), 1);
    EXPECT_TRUE(station.dialogs.shown[0].contains(u"no such file"_s));
    EXPECT_TRUE(station.ui().Option3->isChecked());
    EXPECT_TRUE(station.ui().OptionWAV->isChecked());
    EXPECT_EQ(station.ui().FileLocation->text(), station.voiceFolder());
    EXPECT_EQ(station.announce(), clips(u"GoodEvening TheTimeIs 14 Hour 15 Minutes Blank"_s));
}

// Switching to the short chain while the long one waits on "Hour" leaves nothing to follow.
TEST(Announcement, ChainSwitchedUnderAnAnnouncementEndsIt) {
    Station station;
    station.window().hora_rf_Click();
    for (int clip = 0; clip < 4; ++clip)
        station.step();
    ASSERT_EQ(QFileInfo(station.fakes.current()->path).fileName(), u"Hour.wav"_s);
    station.ui().Check1->setChecked(false);
    station.playOut();
    EXPECT_FALSE(station.window().Timer2.isActive());
    EXPECT_FALSE(station.link->keyed);
}

} // namespace
