#include "Controls.h"
#include "Form1Harness.h"

#include <QCloseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(Form1, StartUpBuildsTheTitleFromTheLinkThenReleasesTheTransmitter) {
    Form1Harness h;
    Form1& form = h.start();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tempovox    fake link 1   v1.0.1"));
    EXPECT_EQ(h.link->calls, QStringList({QStringLiteral("InfoObject"), QStringLiteral("InfoText"),
                                          QStringLiteral("SetPtt 0")}));
    EXPECT_EQ(h.ui().PTT->text(), QStringLiteral("PTT OFF")) << "start-up leaves the indicator alone";
    EXPECT_EQ(h.ui().HH->text(), QStringLiteral("14")) << "a request in the first second names real clips";
    EXPECT_EQ(h.ui().MM->text(), QStringLiteral("15"));
    EXPECT_EQ(form.announcement.AnnounceBusy, 0);
    EXPECT_FALSE(form.announcement.ClipStep.has_value());
    EXPECT_FALSE(form.announcement.SequenceStep.has_value());
    EXPECT_TRUE(h.exits.isEmpty());
}

TEST(Form1, TimersHaveTheirIntervalsAndOnlyTheSequencerWaits) {
    Form1Harness h;
    Form1& form = h.start();
    struct Expected {
        QTimer* timer;
        int interval;
        bool active;
    };
    for (const Expected& e : {Expected{&form.Timer1, 10, true}, Expected{&form.Timer2, 1, false},
                              Expected{&form.Timer5, 100, true}, Expected{&form.Beacon8, 1000, true}}) {
        EXPECT_EQ(e.timer->interval(), e.interval);
        EXPECT_EQ(e.timer->isActive(), e.active) << e.interval;
    }
    // The clock ticks just after each second of the wall clock: 14:15:00.000 plus a few ms.
    EXPECT_TRUE(form.Timer3.isActive());
    EXPECT_EQ(form.Timer3.interval(), 1005);
    EXPECT_EQ(form.Timer1.timerType(), Qt::PreciseTimer);
    EXPECT_EQ(form.Timer2.timerType(), Qt::PreciseTimer);
}

TEST(Form1, ALinkThatCannotBeCreatedEndsTheProgramWithStatusOne) {
    Form1Harness h;
    h.linkError = QStringLiteral("socket path unusable");
    h.form = std::make_unique<Form1>(h.services());
    EXPECT_FALSE(h.form->Form_Load());
    EXPECT_EQ(h.exits, QList<int>({1}));
}

TEST(Form1, TheLanguageChoosesTheVoiceFolderAndFormat) {
    struct Case {
        QRadioButton* Ui::Form1::*language;
        QString folder;
        bool forcesWav;
    };
    const QString base = Form1Harness::ProgramFolder;
    const Case cases[] = {
        {&Ui::Form1::Option3, base + QStringLiteral("/WavFiles/US_Kate/"), true},
        {&Ui::Form1::Option4, base + QStringLiteral("/WavFiles/Español/"), true},
        {&Ui::Form1::Option7, base + QStringLiteral("/WavFiles/brasil/"), true},
        {&Ui::Form1::Option8, base + QStringLiteral("/WavFiles/US_Kate/"), true},
        {&Ui::Form1::Option10, base + QStringLiteral("/WavFiles/US_Kate/"), false},
    };
    for (const Case& c : cases) {
        Form1Harness h;
        h.start();
        auto& ui = h.ui();
        setOptionSelected(ui.*c.language, true);
        ui.OptionMP3->setChecked(true);
        ui.FileLocation->setText(QStringLiteral("/typed/by/hand/"));
        h.form->Timer5_Timer();
        EXPECT_EQ(ui.FileLocation->text(), c.folder);
        EXPECT_EQ(ui.OptionWAV->isChecked(), c.forcesWav) << c.folder.toStdString();
        EXPECT_EQ(ui.OptionMP3->isChecked(), !c.forcesWav);
    }
}

TEST(Form1, WithinATenthOfASecondTheDefaultsPointAtThePortugueseVoice) {
    Form1Harness h;
    h.start();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return h.ui().FileLocation->text() ==
                   Form1Harness::ProgramFolder + QStringLiteral("/WavFiles/brasil/");
        },
        1000));
    EXPECT_TRUE(h.ui().OptionWAV->isChecked());
}

TEST(Form1, WithoutALanguageTheFolderFromTheFileIsKept) {
    Form1Harness h("[SETTINGS]\nOPTION7=0\nFILELOCATION=/srv/voices/\nOPTIONMP3=True\n");
    h.start();
    h.form->Timer5_Timer();
    EXPECT_EQ(h.ui().FileLocation->text(), QStringLiteral("/srv/voices/"));
    EXPECT_TRUE(h.ui().OptionMP3->isChecked());
}

TEST(Form1, ScrollBarsReachThePlayingClipAndIgnoreAnEmptyPlayer) {
    Form1Harness h;
    Form1& form = h.start();
    auto& ui = h.ui();

    // No clip yet: the volume still lands in VolSet, the rest changes nothing.
    ui.V1->setValue(-2000);
    ui.V2->setValue(200);
    EXPECT_EQ(ui.VolSet->text(), QStringLiteral("-2000"));

    auto graph = std::make_shared<FakeGraph>();
    form.player.GraphControl = graph;
    form.player.GraphAudio = graph;
    form.player.GraphPosition = graph;
    ui.V1->setValue(0);
    ui.V2->setValue(10);
    ui.H1->setMaximum(30);
    ui.H1->setValue(12);
    ui.H1->sliderMoved(12);
    EXPECT_EQ(graph->volume, 0);
    EXPECT_DOUBLE_EQ(graph->rate, 0.1);
    EXPECT_DOUBLE_EQ(graph->position, 12.0);
    EXPECT_EQ(ui.VolSet->text(), QStringLiteral("0"));
    EXPECT_EQ(graph->calls, QStringList({QStringLiteral("SetVolume 0"), QStringLiteral("SetRate 0.1"),
                                         QStringLiteral("SetCurrentPosition 12")}))
        << "clicking the progress bar's track moves the thumb without seeking";
}

TEST(Form1, ClosingTheWindowAsksAndOnYesReleasesTheTransmitterWithoutSaving) {
    Form1Harness h;
    h.start();
    h.link->calls.clear();

    h.dialogs.answer = false;
    EXPECT_FALSE(h.form->close());
    EXPECT_TRUE(h.exits.isEmpty());
    EXPECT_TRUE(h.link->calls.isEmpty());

    h.dialogs.answer = true;
    h.link->keyed = true;
    h.ui().PTT->setText(QStringLiteral("PTT ON"));
    h.form->close();
    EXPECT_EQ(h.exits, QList<int>({0}));
    EXPECT_EQ(h.link->calls, QStringList({QStringLiteral("SetPtt 0")}));
    EXPECT_FALSE(h.link->keyed);
    EXPECT_EQ(h.ui().PTT->text(), QStringLiteral("PTT OFF"));
    EXPECT_EQ(h.ui().PTT->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(h.dialogs.shown,
              QStringList(
                  {QStringLiteral("question|Exit Program|Quit Program - Are You Sure ? Remember To Save Any "
                                  "Changes  |Yes"),
                   QStringLiteral("question|Exit Program|Quit Program - Are You Sure ? Remember To Save Any "
                                  "Changes  |Yes")}));
    EXPECT_FALSE(QFile::exists(h.profilePath()));
}

TEST(Form1, EncerrarAsksWithNoAsDefaultAndEndsWithoutTouchingTheLink) {
    Form1Harness h;
    h.start();
    h.link->calls.clear();
    h.dialogs.answer = false;
    h.ui().Command2->click();
    EXPECT_TRUE(h.exits.isEmpty());
    h.dialogs.answer = true;
    h.ui().Command2->click();
    EXPECT_EQ(h.exits, QList<int>({0}));
    EXPECT_TRUE(h.link->calls.isEmpty());
    EXPECT_EQ(h.dialogs.shown.first(), QStringLiteral("question|tempovox|Tem certeza que quer sair?|No"));
}

TEST(Form1, TheLinkClosingReleasesAcknowledgesAndEnds) {
    Form1Harness h;
    h.start();
    h.link->calls.clear();
    h.link->close();
    EXPECT_EQ(h.link->calls,
              QStringList({QStringLiteral("SetPtt 0"), QStringLiteral("AcknowledgeClosing 0")}));
    EXPECT_EQ(h.exits, QList<int>({0}));
    EXPECT_TRUE(h.dialogs.shown.isEmpty());

    Form1Harness failing;
    failing.start();
    failing.link->failCalls = true;
    failing.link->close();
    EXPECT_EQ(failing.exits, QList<int>({0})) << "a link already gone does not keep the program alive";
}

TEST(Form1, AGreyedBoxGoesBackToTwoStatesOnTheOperatorsClick) {
    Form1Harness h("[SETTINGS]\nAMPM=2\n");
    h.start();
    EXPECT_EQ(checkValue(h.ui().AMPM), 2);
    h.ui().AMPM->click();
    h.ui().AMPM->click();
    h.ui().AMPM->click();
    EXPECT_NE(checkValue(h.ui().AMPM), 2);
    EXPECT_FALSE(h.ui().AMPM->isTristate());
}

TEST(Form1, ADtmfRequestMatchesOnlyTheExactCode) {
    struct Case {
        const char* code;
        const char* sent;
        bool starts;
    };
    const Case cases[] = {
        {"123", "123", true},
        {"123", "0123", false},
        {"123", "1234", false},
        {"123", "#123", false},
        {"123", "123#", false},
        {"123", "123 ", false},
        {"123", " 123", false},
        {"##123**", "##123**", true},
        {"##123**", "123", false},
        {"##123**", "##123*", false},
        {"A1", "a1", false},
        {"A1", "A1", true},
        {"", "", true},
        {"", " ", false},
    };
    for (const Case& c : cases) {
        Form1Harness h;
        h.start();
        h.ui().DTMFTime->setText(QLatin1String(c.code));
        h.link->busy = true; // a request is answered whatever the link reports
        h.link->sendDtmf(QLatin1String(c.sent));
        EXPECT_EQ(h.form->Timer2.isActive(), c.starts) << "code '" << c.code << "' sent '" << c.sent << "'";
        if (c.starts) {
            EXPECT_EQ(h.form->announcement.ClipStep, 1)
                << "a request goes on from TheTimeIs whatever Check2 says";
            EXPECT_EQ(h.form->announcement.SequenceStep, 1);
        }
    }
}

TEST(Form1, TheButtonAnnouncesWhateverTheScheduleAndTheLinkSay) {
    Form1Harness h("[SETTINGS]\nQUARTERHOUR=0\nCHECK1=0\n");
    h.start();
    h.link->busy = true;
    h.ui().hora_rf->click();
    EXPECT_TRUE(h.form->Timer2.isActive());
    EXPECT_EQ(h.form->announcement.ClipStep, 11);
    EXPECT_EQ(h.graphs.rendered,
              QStringList({Form1Harness::ProgramFolder + QStringLiteral("/WavFiles/brasil/GoodEvening.wav")}))
        << "the first short announcement after start-up plays just its preamble";
    EXPECT_EQ(h.ui().PTT->text(), QStringLiteral("PTT ON"));
}

TEST(Form1, TheClockTickShowsTheTimeAndStartsTheQuarterHour) {
    Form1Harness h;
    h.start();
    h.form->Timer3_Timer(); // 14:15:00 with the default QuarterHour
    EXPECT_EQ(h.ui().HH->text(), QStringLiteral("14"));
    EXPECT_EQ(h.ui().MM->text(), QStringLiteral("15"));
    EXPECT_EQ(h.ui().AM_PM->text(), QStringLiteral("PM"));
    EXPECT_TRUE(h.form->Timer2.isActive());
    EXPECT_EQ(h.form->Timer3.interval(), 1005) << "re-armed for just after the next second";
}

TEST(Form1, TheSettingsFileHoldsTheStateOfTheLastSalvarNotOfTheExit) {
    Form1Harness h;
    h.start();
    h.dialogs.answer = false;
    h.form->close();
    h.ui().DTMFTime->setText(QStringLiteral("42"));
    h.ui().Command1->click();
    h.ui().DTMFTime->setText(QStringLiteral("99"));
    h.dialogs.answer = true;
    h.form->close();
    EXPECT_EQ(h.exits, QList<int>({0}));
    EXPECT_TRUE(h.dir.read(QStringLiteral("Tempovox.ini")).contains("DTMFTIME=42\n"));
}

TEST(Form1, AMissingClipIsOneLineOnAConsoleThatNamesTheFile) {
    Form1Harness h("[SETTINGS]\nCHECK1=0\n");
    h.start();
    h.graphs.missing << Form1Harness::ProgramFolder + QStringLiteral("/WavFiles/brasil/GoodEvening.wav");
    h.form->Timer5_Timer();
    h.ui().hora_rf->click();
    ASSERT_EQ(h.dialogs.shown.size(), 1);
    const QStringList parts = h.dialogs.shown.first().split(QLatin1Char('|'));
    EXPECT_EQ(parts[1], QStringLiteral("Error"));
    EXPECT_EQ(ConsoleDialogs::errorLine(parts[2], parts[3]),
              QStringLiteral("Render error no rendering device found. (Voice File Missing): ") +
                  Form1Harness::ProgramFolder +
                  QStringLiteral("/WavFiles/brasil/GoodEvening.wav: no such file"));
    EXPECT_EQ(h.ui().FileLocation->text(),
              Form1Harness::ProgramFolder + QStringLiteral("/WavFiles/US_Kate/"));
    EXPECT_TRUE(h.ui().Option3->isChecked());
    EXPECT_EQ(h.ui().PTT->text(), QStringLiteral("PTT OFF"));
    EXPECT_FALSE(h.link->keyed);
    EXPECT_FALSE(h.form->Timer2.isActive()) << "the failed start does not hand over to the sequencer";
}

TEST(Form1, TheTransmitTimeOutEndsAStuckAnnouncement) {
    Form1Harness h("[SETTINGS]\nCHECK1=0\n");
    h.txTimeoutSeconds = 180;
    h.start();
    h.ui().hora_rf->click();
    ASSERT_TRUE(h.link->keyed);
    ASSERT_TRUE(h.form->Timer2.isActive());
    h.clock.advanceMs(181 * 1000); // the clip never ends: a stuck output
    h.form->Beacon8_Timer();
    EXPECT_FALSE(h.link->keyed);
    EXPECT_FALSE(h.form->Timer2.isActive());
    EXPECT_EQ(h.form->announcement.AnnounceBusy, 0);
    EXPECT_FALSE(h.form->player.GraphControl);
}

} // namespace
