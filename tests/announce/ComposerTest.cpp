#include "ComposerHarness.h"

#include <gtest/gtest.h>

namespace {

TEST(Composer, ShortChainLoadsThePreambleOnEveryCallAndLeavesTheStepsClip) {
    ComposerHarness h;
    h.panel.check1 = 0;
    h.panel.preamble = 5;
    h.state.ClipStep = Step::HourNumber;
    h.panel.hh = QStringLiteral("02");
    EXPECT_TRUE(h.composer.LoadFile());
    EXPECT_EQ(h.stems(), QStringList({QStringLiteral("DingDong"), QStringLiteral("02")}));
    EXPECT_EQ(h.graphs.current()->path, QStringLiteral("/v/02.wav"))
        << "the hour clip is the one left loaded";
    EXPECT_EQ(h.link.calls, QStringList({QStringLiteral("SetPtt 1")}));
    EXPECT_TRUE(h.panel.pttShown);
    EXPECT_EQ(h.state.AnnounceBusy, 1);
    EXPECT_EQ(h.panel.text3, QStringLiteral("2"));
    EXPECT_EQ(h.panel.h1Max, 2);
}

TEST(Composer, ShortChainWithoutPreambleGoesStraightToTheTimeIs) {
    ComposerHarness h;
    h.panel.check1 = 0;
    h.panel.check2 = 0;
    h.state.ClipStep = Step::Preamble;
    EXPECT_TRUE(h.composer.LoadFile());
    EXPECT_EQ(h.stems(), QStringList({QStringLiteral("TheTimeIs")}));
    EXPECT_EQ(h.state.ClipStep, Step::TheTimeIs);
    EXPECT_EQ(h.state.SequenceStep, Step::TheTimeIs);
    EXPECT_EQ(h.state.AnnounceBusy, 1);

    // Any other step still plays the filler before its own clip.
    ComposerHarness other;
    other.panel.check1 = 0;
    other.panel.check2 = 0;
    other.state.ClipStep = Step::MinuteNumber;
    EXPECT_TRUE(other.composer.LoadFile());
    EXPECT_EQ(other.stems(), QStringList({QStringLiteral("Blank"), QStringLiteral("15")}));
}

TEST(Composer, LongChainLoadsThePreambleEvenWhenItIsSwitchedOff) {
    ComposerHarness h;
    h.panel.check2 = 0;
    h.panel.preamble = 6;
    h.state.ClipStep = Step::Preamble;
    EXPECT_TRUE(h.composer.LoadFile());
    EXPECT_EQ(h.stems(), QStringList({QStringLiteral("DingDong2")}));
}

TEST(Composer, EachStepLoadsItsClipInItsFormat) {
    struct Case {
        int check1;
        int step;
        bool wav;
        int ampm;
        const char* expected; // last path loaded
    };
    const Case cases[] = {
        {1, Step::TheTimeIs, true, 0, "/v/TheTimeIs.wav"},
        {1, Step::HourNumber, true, 0, "/v/14.wav"},
        {1, Step::HourWord, true, 0, "/v/Hour.wav"},
        {1, Step::MinuteNumber, false, 0, "/v/15.mp3"},
        {1, Step::MinuteWord, false, 0, "/v/Minutes.mp3"},
        {1, Step::Final, true, 0, "/v/Blank.wav"},
        {1, Step::Final, false, 1, "/v/PM.mp3"},
        {2, Step::Final, true, 2, "/v/PM.wav"},
        {0, Step::Final, true, 1, "/v/PM.wav"},
    };
    for (const Case& c : cases) {
        ComposerHarness h;
        h.panel.check1 = c.check1;
        h.panel.wav = c.wav;
        h.panel.ampm = c.ampm;
        h.state.ClipStep = c.step;
        EXPECT_TRUE(h.composer.LoadFile());
        EXPECT_EQ(h.graphs.rendered.last(), QLatin1String(c.expected)) << c.step;
    }
}

TEST(Composer, TheGreetingFollowsTheHourOfTheDay) {
    const std::pair<int, const char*> cases[] = {
        {0, "GoodMorning"},  {11, "GoodMorning"},   {12, "GoodEvening"},
        {17, "GoodEvening"}, {18, "GoodAfternoon"}, {23, "GoodAfternoon"},
    };
    for (const auto& [hour, stem] : cases) {
        ComposerHarness h;
        h.panel.hour = hour;
        h.state.ClipStep = Step::Preamble;
        h.composer.LoadFile();
        EXPECT_EQ(h.stems(), QStringList({QLatin1String(stem)})) << hour;
    }
    // Read afresh for each range: across the stroke of noon the later reading wins.
    ComposerHarness h;
    h.panel.hours = {11, 12, 12};
    h.state.ClipStep = Step::Preamble;
    h.composer.LoadFile();
    EXPECT_EQ(h.stems(), QStringList({QStringLiteral("GoodEvening")}));
}

TEST(Composer, WithoutAPreambleChoiceTheOldPathIsLoadedAgain) {
    ComposerHarness h;
    h.panel.preamble = 0;
    h.state.ClipStep = Step::Preamble;
    h.state.ClipPath = QString(); // as the sequencer leaves it
    EXPECT_FALSE(h.composer.LoadFile());
    EXPECT_EQ(h.graphs.rendered, QStringList({QString()}));
}

TEST(Composer, AReloadedFinishedClipAdvancesTheChainAFreshOneDoesNot) {
    struct Case {
        int check1;
        int step;
        int next;
    };
    const Case cases[] = {
        {1, Step::Preamble, Step::TheTimeIs},      {1, Step::TheTimeIs, Step::HourNumber},
        {1, Step::HourNumber, Step::HourWord},     {1, Step::HourWord, Step::MinuteNumber},
        {1, Step::MinuteNumber, Step::MinuteWord}, {1, Step::MinuteWord, Step::Final},
        {0, Step::HourNumber, Step::MinuteNumber}, {0, Step::MinuteNumber, Step::Final},
    };
    for (const Case& c : cases) {
        ComposerHarness h;
        h.panel.check1 = c.check1;
        h.state.ClipStep = c.step;
        h.state.SequenceStep = c.step;
        h.composer.LoadFile();
        EXPECT_EQ(h.state.SequenceStep, c.step) << "fresh clip, step " << c.step;
        h.finishClip();
        h.composer.LoadFile();
        EXPECT_EQ(h.state.SequenceStep, c.next) << "reloaded finished clip, step " << c.step;
    }
}

TEST(Composer, TheFinalStepStopsTheSequencerAndResetsTheChain) {
    for (const int check2 : {0, 1, 2}) {
        ComposerHarness h;
        h.panel.check2 = check2;
        h.panel.timer2 = true;
        h.state.AnnounceBusy = 1;
        h.state.ClipStep = Step::Final;
        h.state.SequenceStep = Step::Final;
        EXPECT_TRUE(h.composer.LoadFile());
        const int resting = check2 == 1 ? Step::Preamble : Step::TheTimeIs;
        EXPECT_FALSE(h.panel.timer2);
        EXPECT_EQ(h.state.ClipStep, resting) << check2;
        EXPECT_EQ(h.state.SequenceStep, resting) << check2;
        EXPECT_EQ(h.state.AnnounceBusy, 0);
        EXPECT_FALSE(h.graphs.current()->calls.contains(QStringLiteral("Stop")));
    }
    // A final clip whose length equals the position on display is stopped before it is heard.
    ComposerHarness h;
    h.panel.text2 = QStringLiteral("2");
    h.state.ClipStep = Step::Final;
    h.composer.LoadFile();
    EXPECT_TRUE(h.graphs.current()->calls.contains(QStringLiteral("Stop")));
}

TEST(Composer, TheFirstLongAnnouncementAfterStartUpLoadsNothing) {
    ComposerHarness h;
    EXPECT_TRUE(h.composer.LoadFile());
    EXPECT_TRUE(h.graphs.rendered.isEmpty());
    EXPECT_TRUE(h.link.calls.isEmpty());
    EXPECT_FALSE(h.state.ClipStep.has_value());

    // The short chain plays just its preamble then.
    ComposerHarness shortChain;
    shortChain.panel.check1 = 0;
    EXPECT_TRUE(shortChain.composer.LoadFile());
    EXPECT_EQ(shortChain.stems(), QStringList({QStringLiteral("GoodEvening")}));
}

TEST(Composer, AMissingClipReleasesTheTransmitterAndEndsTheAnnouncement) {
    ComposerHarness h;
    h.graphs.missing << QStringLiteral("/v/Minutes.wav");
    h.panel.folder = QStringLiteral("/v/");
    h.panel.wav = false;
    h.panel.timer2 = true;
    h.state.AnnounceBusy = 1;
    h.state.ClipStep = Step::MinuteWord;
    h.state.SequenceStep = Step::MinuteWord;
    h.graphs.missing << QStringLiteral("/v/Minutes.mp3");

    EXPECT_FALSE(h.composer.LoadFile());
    EXPECT_EQ(h.panel.events,
              QStringList({QStringLiteral("Option3"), QStringLiteral("error /v/Minutes.mp3: no such file")}));
    EXPECT_EQ(h.panel.folder, QStringLiteral("/opt/tempovox/WavFiles/US_Kate/"));
    EXPECT_TRUE(h.panel.wav);
    EXPECT_FALSE(h.panel.pttShown);
    EXPECT_EQ(h.link.calls, QStringList({QStringLiteral("SetPtt 0")}));
    EXPECT_EQ(h.state.AnnounceBusy, 0);
    EXPECT_FALSE(h.panel.timer2);
    EXPECT_EQ(h.state.ClipStep, Step::Preamble);
    EXPECT_EQ(h.state.SequenceStep, Step::Preamble);
    EXPECT_FALSE(h.player.GraphControl) << "the player is left empty";
    EXPECT_EQ(h.panel.text3, QStringLiteral("00:00:00")) << "the display keeps the last good load";
    EXPECT_EQ(
        h.panel.errorText,
        QStringLiteral("          Render error no rendering device found. (Voice File Missing)\r\n\r\n"
                       "                               US Paul, UK Audrey & UK Charles \r\n"
                       " Get these free voices files for Tempovox from file:///opt/tempovox/docs/voices.md"));
}

TEST(Composer, AClipTooLongForTheProgressBarFailsLikeAMissingOne) {
    ComposerHarness h;
    h.graphs.durations[QStringLiteral("/v/TheTimeIs.wav")] = 32767.5;
    h.state.ClipStep = Step::TheTimeIs;
    EXPECT_FALSE(h.composer.LoadFile());
    ASSERT_EQ(h.panel.events.size(), 2);
    EXPECT_TRUE(h.panel.events[1].startsWith(QLatin1String("error /v/TheTimeIs.wav: ")))
        << h.panel.events[1].toStdString();

    ComposerHarness fits;
    fits.graphs.durations[QStringLiteral("/v/TheTimeIs.wav")] = 32766.5; // rounds to even: 32766
    fits.state.ClipStep = Step::TheTimeIs;
    EXPECT_TRUE(fits.composer.LoadFile());
    EXPECT_EQ(fits.panel.h1Max, 32766);
}

TEST(Composer, ATransmitterThatCannotBeKeyedIsAFailedLoad) {
    ComposerHarness h;
    h.link.failCalls = true;
    h.state.ClipStep = Step::TheTimeIs;
    EXPECT_FALSE(h.composer.LoadFile());
    EXPECT_TRUE(h.graphs.rendered.isEmpty());
    EXPECT_EQ(h.state.AnnounceBusy, 0);
}

} // namespace
