#include "Announcer.h"
#include "ComposerHarness.h"
#include "Sequencer.h"

#include <gtest/gtest.h>

namespace {

// Composer, sequencer and starter together over a player whose clips end when the test says.
// Every clip has a length of its own, as real recordings do.
struct AnnouncementRun : ComposerHarness {
    AnnouncementRun() {
        const char* stems[] = {"DingDong",  "DingDong2", "GoodMorning", "GoodEvening", "GoodAfternoon",
                               "TheTimeIs", "Hour",      "Minutes",     "Blank",       "AM",
                               "PM",        "02",        "05",          "14",          "15"};
        double length = 1.0;
        for (const char* stem : stems) {
            length += 0.125;
            for (const char* folder : {"/v/", "/opt/tempovox/WavFiles/US_Kate/"})
                graphs.durations[QLatin1String(folder) + QLatin1String(stem) + QStringLiteral(".wav")] =
                    length;
        }
    }

    // Plays the announcement to its end: the clip playing is heard to its end, the progress
    // refresh shows it, and the sequencer ticks, until the sequencer has stopped.
    void playOut() {
        for (int guard = 0; panel.timer2 && guard < 100; ++guard) {
            if (auto graph = graphs.current(); graph && graph->running) {
                heard << stem(graph->path);
                graph->finish();
            }
            RefreshProgress(player, panel);
            sequencer.Timer2_Timer();
        }
        if (auto graph = graphs.current(); graph && graph->running)
            heard << stem(graph->path); // the final clip, whose end the watchdog sees
    }

    static QString stem(const QString& path) {
        return path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
    }

    Sequencer sequencer{Sequencer::Parts{state, panel, composer, player, panel, keying}};
    Announcer announcer{Announcer::Parts{state, panel, composer, player}};
    QStringList heard;
};

TEST(AnnouncementRun, ShortChainWithBellStartedByTheButton) {
    AnnouncementRun run;
    run.panel.check1 = 0;
    run.panel.preamble = 5;
    run.panel.ampm = 1;
    run.panel.hh = QStringLiteral("02");
    run.panel.mm = QStringLiteral("05");
    run.state.ClipStep = Step::Preamble; // at rest after an earlier announcement
    run.state.SequenceStep = Step::Preamble;

    run.announcer.SayAudioTime();
    EXPECT_EQ(run.state.ClipStep, Step::Preamble);
    EXPECT_TRUE(run.panel.timer2);
    run.playOut();

    EXPECT_EQ(run.heard, QStringList({QStringLiteral("DingDong"), QStringLiteral("TheTimeIs"),
                                      QStringLiteral("02"), QStringLiteral("05"), QStringLiteral("PM")}));
    EXPECT_EQ(run.state.ClipStep, Step::Preamble);
    EXPECT_EQ(run.state.SequenceStep, Step::Preamble);
    EXPECT_EQ(run.state.AnnounceBusy, 0);
    EXPECT_FALSE(run.link.calls.contains(QStringLiteral("SetPtt 0")))
        << "keyed from the first clip to the last";

    run.graphs.current()->finish();
    RefreshProgress(run.player, run.panel);
    run.keying.Beacon8_Timer(run.panel.ClipEnded(), run.state.AnnounceBusy);
    EXPECT_FALSE(run.link.keyed);
}

TEST(AnnouncementRun, TheFirstLongAnnouncementAfterStartUpBeginsOnTheFirstTick) {
    AnnouncementRun run;
    run.announcer.SayAudioTime();
    EXPECT_TRUE(run.graphs.rendered.isEmpty()) << "nothing to load yet: the first tick issues the preamble";
    run.playOut();
    EXPECT_EQ(run.heard, QStringList({QStringLiteral("GoodEvening"), QStringLiteral("TheTimeIs"),
                                      QStringLiteral("14"), QStringLiteral("Hour"), QStringLiteral("15"),
                                      QStringLiteral("Minutes"), QStringLiteral("Blank")}));
}

TEST(AnnouncementRun, ADtmfRequestGoesOnFromTheTimeIsWhileThePreamblePlays) {
    AnnouncementRun run;
    run.state.ClipStep = Step::Preamble;
    run.state.SequenceStep = Step::Preamble;
    run.announcer.SayAudioTimeForDtmf();
    EXPECT_EQ(run.state.ClipStep, Step::TheTimeIs);
    EXPECT_EQ(run.state.SequenceStep, Step::TheTimeIs);
    run.playOut();
    EXPECT_EQ(run.heard, QStringList({QStringLiteral("GoodEvening"), QStringLiteral("TheTimeIs"),
                                      QStringLiteral("14"), QStringLiteral("Hour"), QStringLiteral("15"),
                                      QStringLiteral("Minutes"), QStringLiteral("Blank")}));
}

TEST(AnnouncementRun, WithoutPreambleTheChainStartsWithTheTimeIs) {
    AnnouncementRun run;
    run.panel.check1 = 0;
    run.panel.check2 = 0;
    run.state.ClipStep = Step::TheTimeIs;
    run.state.SequenceStep = Step::TheTimeIs;
    run.announcer.SayAudioTime();
    run.playOut();
    EXPECT_EQ(run.heard, QStringList({QStringLiteral("TheTimeIs"), QStringLiteral("14"), QStringLiteral("15"),
                                      QStringLiteral("Blank")}));
    EXPECT_EQ(run.state.ClipStep, Step::TheTimeIs);
}

TEST(AnnouncementRun, VolumeAndSpeedReachEveryLaterClip) {
    AnnouncementRun run;
    run.state.ClipStep = Step::Preamble;
    run.panel.v1 = -1200;
    run.panel.v2 = 150;
    run.announcer.SayAudioTime();
    EXPECT_EQ(run.graphs.current()->volume, -1200);
    EXPECT_DOUBLE_EQ(run.graphs.current()->rate, 1.5);
    run.panel.v2 = 50;
    run.graphs.current()->finish();
    RefreshProgress(run.player, run.panel);
    run.sequencer.Timer2_Timer();
    EXPECT_EQ(run.graphs.current()->path, QStringLiteral("/v/TheTimeIs.wav"));
    EXPECT_DOUBLE_EQ(run.graphs.current()->rate, 0.5);
}

TEST(AnnouncementRun, AStartDuringAnAnnouncementRunsOverIt) {
    AnnouncementRun run;
    run.state.ClipStep = Step::Preamble;
    run.announcer.SayAudioTime();
    run.graphs.current()->finish();
    RefreshProgress(run.player, run.panel);
    run.sequencer.Timer2_Timer(); // "TheTimeIs" now plays; the long chain left ClipStep at 0
    ASSERT_EQ(run.state.ClipStep, 0);
    const auto playing = run.graphs.current();
    playing->position = 0.5;

    run.announcer.SayAudioTime(); // loads nothing: the playing clip starts again
    EXPECT_EQ(run.graphs.current(), playing);
    EXPECT_EQ(playing->position, 0.0);
    EXPECT_EQ(run.state.ClipStep, Step::Preamble);
    EXPECT_EQ(run.state.SequenceStep, Step::Preamble);
    run.playOut();
    EXPECT_EQ(run.heard.first(), QStringLiteral("TheTimeIs"));
    EXPECT_EQ(run.heard.mid(1, 2), QStringList({QStringLiteral("GoodEvening"), QStringLiteral("TheTimeIs")}))
        << "the chain begins again from the preamble";
}

TEST(AnnouncementRun, AChainChangedUnderARunningAnnouncementEndsIt) {
    AnnouncementRun run;
    run.state.ClipStep = Step::HourNumber;
    run.state.SequenceStep = Step::HourWord;
    run.state.AnnounceBusy = 1;
    run.panel.timer2 = true;
    run.panel.check1 = 0; // the short chain has no step 22
    run.sequencer.Timer2_Timer();
    EXPECT_FALSE(run.panel.timer2);
    EXPECT_EQ(run.state.AnnounceBusy, 0);
    EXPECT_EQ(run.state.ClipStep, Step::Preamble);
    EXPECT_EQ(run.state.SequenceStep, Step::Preamble);

    // The preamble step without a preamble: the same.
    AnnouncementRun noBell;
    noBell.state.SequenceStep = Step::Preamble;
    noBell.state.AnnounceBusy = 1;
    noBell.panel.timer2 = true;
    noBell.panel.check2 = 0;
    noBell.sequencer.Timer2_Timer();
    EXPECT_FALSE(noBell.panel.timer2);
    EXPECT_EQ(noBell.state.SequenceStep, Step::TheTimeIs);
}

TEST(AnnouncementRun, AMissingClipEndsTheAnnouncementAndTheNextOneRunsInFull) {
    AnnouncementRun run;
    run.graphs.missing << QStringLiteral("/v/15.wav");
    run.state.ClipStep = Step::Preamble;
    run.announcer.SayAudioTime();
    run.playOut();
    EXPECT_EQ(run.heard, QStringList({QStringLiteral("GoodEvening"), QStringLiteral("TheTimeIs"),
                                      QStringLiteral("14"), QStringLiteral("Hour")}));
    EXPECT_FALSE(run.panel.timer2);
    EXPECT_FALSE(run.link.keyed);
    EXPECT_EQ(run.state.AnnounceBusy, 0);
    EXPECT_GT(run.link.calls.lastIndexOf(QStringLiteral("SetPtt 0")),
              run.link.calls.lastIndexOf(QStringLiteral("SetPtt 1")))
        << "nothing keys again after the release";

    run.heard.clear();
    run.announcer.SayAudioTime();
    run.playOut();
    EXPECT_EQ(run.heard.size(), 7) << run.heard.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(run.heard.last(), QStringLiteral("Blank"));
}

} // namespace
