// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AnnouncementPanel.h"
#include "ProgressDisplay.h"
#include "SchedulePanel.h"
#include "TransmitKeying.h"

#include <functional>

class Clock;
class Dialogs;
class QTimer;
class QWidget;
namespace Ui {
class Form1;
}

// The main window's controls as the subsystems see them: what the composer and the clock
// read, the progress display and the transmitter indicator.
class MainWindowPanel : public AnnouncementPanel,
                        public ProgressDisplay,
                        public SchedulePanel,
                        public PttIndicator {
public:
    MainWindowPanel(Ui::Form1& ui, QWidget& window, QTimer& timer2, const Clock& clock, Dialogs& dialogs)
        : ui_(ui)
        , window_(window)
        , timer2_(timer2)
        , clock_(clock)
        , dialogs_(dialogs) {}

    int Check1() const override;
    int Check2() const override;
    int V1() const override;
    int V2() const override;
    int AMPM() const override;
    bool Option5() const override;
    bool Option6() const override;
    bool Option9() const override;
    bool OptionWAV() const override;
    QString FileLocation() const override;
    QString HH() const override;
    QString MM() const override;
    QString AM_PM() const override;
    int LocalHour() const override;
    void SetTimer2Enabled(bool enabled) override;
    void SelectOption3() override;
    void SetFileLocation(const QString& folder) override;
    void SelectOptionWAV() override;
    void ShowRenderError(const QString& text, const QString& clipPath, const QString& reason) override;

    QString Text2() const override;
    QString Text3() const override;
    void SetText1(const QString& text) override;
    void SetText2(const QString& text) override;
    void SetText3(const QString& text) override;
    void SetH1Max(int seconds) override;
    void SetH1Value(int seconds) override;

    bool Option1() const override;
    int OnHour() const override;
    int QuarterHour() const override;
    int HalfHour() const override;
    void SetShowTheTime(const QString& text) override;
    void SetHH(const QString& text) override;
    void SetMM(const QString& text) override;
    void SetAM_PM(const QString& text) override;

    void showPtt(bool on) override;

    // Told of every key and release, and of a clip that failed to load, before any box shows.
    std::function<void(bool on)> pttShown;
    std::function<void(const QString& reason)> renderFailed;

private:
    Ui::Form1& ui_;
    QWidget& window_;
    QTimer& timer2_;
    const Clock& clock_;
    Dialogs& dialogs_;
};
