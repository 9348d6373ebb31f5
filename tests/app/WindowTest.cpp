// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"
#include "Translation.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The ways out: each asks first where it should, releases the transmitter, and ends at once.
TEST(Window, ExitPathsReleaseAndEnd) {
    enum Way { Encerrar, CloseWindow, LinkCloses };
    const QString sure = u"Tem certeza que quer sair? [No]"_s;
    const QString quit = u"Quit Program - Are You Sure ? Remember To Save Any Changes   [Yes]"_s;
    const QString released = u"SetPtt 0"_s, acknowledged = u"AcknowledgeClosing 0"_s;
    const struct {
        Way way;
        bool answer;
        QString asked;         // the question and its default button
        QStringList linkCalls; // after the announcement's key
        QList<int> exits;
    } cases[] = {
        {Encerrar, false, sure, {}, {}},
        {Encerrar, true, sure, {}, {0}},
        {CloseWindow, false, quit, {}, {}},
        {CloseWindow, true, quit, {released}, {0}},
        {LinkCloses, true, {}, {released, acknowledged}, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.way) * 2 + c.answer);
        Station station;
        station.window().show();
        station.window().hora_rf_Click();
        station.step();
        station.link->calls.clear();
        station.dialogs.answer = c.answer;
        if (c.way == Encerrar)
            station.window().Command2_Click();
        else if (c.way == CloseWindow)
            station.window().close();
        else
            station.link->close();
        EXPECT_EQ(station.dialogs.shown, c.asked.isEmpty() ? QStringList() : QStringList{c.asked});
        EXPECT_EQ(station.link->calls, c.linkCalls);
        EXPECT_EQ(station.exits, c.exits);
    }
}

// Between announcements only the clock and the watchdog run; the progress display follows a clip
// while it plays, and the voice folder follows the choices the moment they change.
TEST(Window, IdleRunsOnlyTheClockAndTheWatchdog) {
    Station station({.output = u"fakesink sync=true"_s});
    Form1& window = station.window();
    const auto idle = [&] {
        return !window.Timer1.isActive() && !window.Timer2.isActive() && !window.Timer5.isActive();
    };
    EXPECT_TRUE(Station::waitFor(idle, 1000));
    window.hora_rf_Click();
    EXPECT_TRUE(Station::waitFor([&] { return window.Timer1.isActive(); }, 2000)) << "a clip plays";
    EXPECT_TRUE(Station::waitFor([&] { return idle() && !station.link->keyed; }, 5000));
    EXPECT_TRUE(window.Timer3.isActive() && window.Beacon8.isActive());
    station.ui().FileLocation->setText(u"/typed/by/hand/"_s);
    station.ui().OptionMP3->setChecked(true);
    QTest::qWait(1);
    EXPECT_EQ(station.ui().FileLocation->text(), station.voiceFolder());
    EXPECT_TRUE(station.ui().OptionWAV->isChecked());
    EXPECT_TRUE(Station::waitFor(idle, 100));
}

// The window keeps the names the settings and the operator guide use, in every language; the
// user's first language with a translation, or Portuguese, decides the captions.
TEST(Window, ControlsKeepTheirNamesInEveryLanguage) {
    const struct {
        QStringList languages;
        QString chosen;
    } choices[] = {{{}, {}},
                   {{u"C"_s}, {}},
                   {{u"pt-BR"_s, u"en"_s}, {}},
                   {{u"de"_s, u"es"_s}, u"es"_s},
                   {{u"es-AR"_s}, u"es"_s},
                   {{u"en-GB"_s}, u"en"_s},
                   {{u"fr"_s}, {}}};
    for (const auto& c : choices)
        EXPECT_EQ(Translation::choose(c.languages), c.chosen) << c.languages.join(u',').toStdString();
    // Installed for the rest of this process: CTest runs every test in a process of its own.
    EXPECT_EQ(Translation::install(*QCoreApplication::instance(), {u"es"_s}), u"es"_s);
    Station station;
    EXPECT_NE(station.ui().Command1->text(), u"Salvar"_s) << "translated";
    for (const char* name :
         {"Option1",      "Option10",  "Check1",      "Check2",  "Text1",       "Text2",    "Text3",
          "V1",           "V2",        "H1",          "OnHour",  "QuarterHour", "HalfHour", "DTMFTime",
          "FileLocation", "VolSet",    "ShowTheTime", "PTT",     "HH",          "MM",       "AM_PM",
          "AMPM",         "OptionWAV", "OptionMP3",   "hora_rf", "Command1",    "Command2", "Command3"})
        EXPECT_NE(station.window().findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
}

} // namespace
