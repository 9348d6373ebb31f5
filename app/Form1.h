// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AnnouncementHistory.h"
#include "AnnouncementState.h"
#include "Announcer.h"
#include "ClipPlayer.h"
#include "ClockScheduler.h"
#include "Composer.h"
#include "MainWindowPanel.h"
#include "Sequencer.h"
#include "TransmitKeying.h"

#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class Clock;
class Dialogs;
class GraphFactory;
class Link;
namespace Ui {
class Form1;
}

// What the main window needs of the platform. The program passes the real services; tests
// pass doubles, so the window runs offscreen without a link, a sound card or a real clock.
struct Form1Services {
    Clock& clock;
    GraphFactory& graphs;
    Dialogs& dialogs;
    std::function<std::unique_ptr<Link>(QString* error)> createLink;
    QString profilePath;
    QString programFolder; // without a trailing "/"
    QString programName;   // the executable's file name without its extension
    QString voicesHelp;    // where the operator learns how to get voice files
    QUrl aboutFirstPage;   // the About box's two pages
    QUrl aboutSecondPage;
    std::function<void(int status)> exitProcess; // ends the process at once
    int txTimeoutSeconds = 0;                    // the transmit time-out; 0 for none
};

// The main window: the operator's settings live in its controls, its timers drive all work,
// and it holds the link and the announcement's state for the whole run.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up, once, before the window is first shown. Returns false when the link could
    // not be created; the process has then been ended with status 1.
    bool Form_Load();

    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer5_Timer();
    void Beacon8_Timer();
    void hora_rf_Click();
    void EchoLink_DTMFString(const QString& text);
    void V1_Change();
    void V2_Change();
    void H1_Scroll();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Form_QueryUnload(int& Cancel, int UnloadMode);
    void EchoLink_Closing();
    void SaveData();
    // "Salvar" with its outcome: false with the reason when the file could not be written.
    bool saveSettings(QString* error);
    // The station page's announce now and release now.
    void announceFromPage();
    void releaseNow();
    // The station's clock.
    QDateTime now() const;
    // The closing question answered Yes: release the transmitter and end. SIGTERM and SIGINT
    // end the program this way too.
    void ConfirmedExit();

    Ui::Form1& controls() { return *ui_; }
    MainWindowPanel& panel() { return *panel_; }
    // Present once Form_Load has created the link.
    TransmitKeying* keying() { return keying_.get(); }
    Composer* composer() { return composer_.get(); }
    Sequencer* sequencer() { return sequencer_.get(); }
    Announcer* announcer() { return announcer_.get(); }

    QTimer Timer1;  // progress refresh, while a clip plays
    QTimer Timer2;  // announcement sequencer, on only while an announcement runs
    QTimer Timer3;  // clock and scheduled announcements
    QTimer Timer5;  // voice folder, once a language or format choice has changed
    QTimer Beacon8; // transmitter watchdog

    std::unique_ptr<Link> EchoLink;
    AnnouncementState announcement;
    ClipPlayer player;
    AnnouncementHistory history;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Announce(const QString& cause);

    Form1Services services_;
    std::weak_ptr<MediaControl> lastStarted_; // the clip started last ...
    QString startedClip_;                     // ... and its file name, until it is heard
    std::unique_ptr<Ui::Form1> ui_;
    std::unique_ptr<MainWindowPanel> panel_;
    std::unique_ptr<TransmitKeying> keying_;
    std::unique_ptr<Composer> composer_;
    std::unique_ptr<Sequencer> sequencer_;
    std::unique_ptr<Announcer> announcer_;
    std::unique_ptr<ClockScheduler> scheduler_;
};
