#pragma once

#include "AnnouncementPanel.h"
#include "ProgressDisplay.h"
#include "TransmitKeying.h"

#include <QStringList>

// The main window as plain values: what the composer and sequencer read, what they show.
struct FakePanel : AnnouncementPanel, ProgressDisplay, PttIndicator {
    int Check1() const override { return check1; }
    int Check2() const override { return check2; }
    int V1() const override { return v1; }
    int V2() const override { return v2; }
    int AMPM() const override { return ampm; }
    bool Option5() const override { return preamble == 5; }
    bool Option6() const override { return preamble == 6; }
    bool Option9() const override { return preamble == 9; }
    bool OptionWAV() const override { return wav; }
    QString FileLocation() const override { return folder; }
    QString HH() const override { return hh; }
    QString MM() const override { return mm; }
    QString AM_PM() const override { return amPm; }
    int LocalHour() const override { return hours.isEmpty() ? hour : hours.takeFirst(); }
    void SetTimer2Enabled(bool enabled) override { timer2 = enabled; }
    void SelectOption3() override { events << QStringLiteral("Option3"); }
    void SetFileLocation(const QString& text) override { folder = text; }
    void SelectOptionWAV() override { wav = true; }
    void ShowRenderError(const QString& text, const QString& clipPath, const QString& reason) override {
        events << QStringLiteral("error ") + clipPath + QStringLiteral(": ") + reason;
        errorText = text;
    }

    QString Text2() const override { return text2; }
    QString Text3() const override { return text3; }
    void SetText1(const QString& text) override { text1 = text; }
    void SetText2(const QString& text) override { text2 = text; }
    void SetText3(const QString& text) override { text3 = text; }
    void SetH1Max(int seconds) override { h1Max = seconds; }
    void SetH1Value(int seconds) override { h1 = seconds; }

    void showPtt(bool on) override { pttShown = on; }

    int check1 = 1, check2 = 1, ampm = 0;
    int v1 = 0, v2 = 100;
    int preamble = 9; // 5, 6 or 9: which of the three options is selected; 0: none
    bool wav = true;
    QString folder = QStringLiteral("/v/");
    QString hh = QStringLiteral("14"), mm = QStringLiteral("15"), amPm = QStringLiteral("PM");
    int hour = 14;
    mutable QList<int> hours; // successive clock readings, when a test needs them to differ
    bool timer2 = false;
    QString text1 = QStringLiteral("00:00:00"), text2 = QStringLiteral("00:00:00"),
            text3 = QStringLiteral("00:00:00");
    int h1 = 0, h1Max = 0;
    bool pttShown = false;
    QStringList events;
    QString errorText;
};
