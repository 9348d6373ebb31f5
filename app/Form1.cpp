// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include "AppLog.h"
#include "Clock.h"
#include "Controls.h"
#include "Dialogs.h"
#include "Link.h"
#include "SettingsFile.h"
#include "VoiceLibrary.h"
#include "sobre_adicional.h"
#include "ui_Form1.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {
const QString ProductName = QStringLiteral("Tempovox");
} // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QWidget(parent)
    , player(services.graphs)
    , services_(std::move(services))
    , ui_(std::make_unique<Ui::Form1>()) {
    // The button pictures sit in a static library, whose resources are not registered by themselves.
    Q_INIT_RESOURCE(resources);
    ui_->setupUi(this);
    panel_ = std::make_unique<MainWindowPanel>(*ui_, *this, Timer2, services_.clock, services_.dialogs);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    Timer1.setInterval(10);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setInterval(1);
    Timer2.setTimerType(Qt::PreciseTimer);
    Timer3.setInterval(1000);
    Timer3.setTimerType(Qt::PreciseTimer);
    Timer3.setSingleShot(true);
    // The voice folder follows the language and format choices as they change, not on a clock.
    Timer5.setInterval(0);
    Timer5.setSingleShot(true);
    Beacon8.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(&Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    connect(&Timer5, &QTimer::timeout, this, &Form1::Timer5_Timer);
    connect(&Beacon8, &QTimer::timeout, this, &Form1::Beacon8_Timer);

    for (QRadioButton* choice : {ui_->Option3, ui_->Option4, ui_->Option7, ui_->Option8, ui_->Option10,
                                 ui_->OptionWAV, ui_->OptionMP3})
        connect(choice, &QRadioButton::toggled, &Timer5, qOverload<>(&QTimer::start));
    connect(ui_->FileLocation, &QLineEdit::textChanged, &Timer5, qOverload<>(&QTimer::start));
    // The progress display follows a clip only while one plays: between announcements nothing wakes.
    player.started = [this] {
        Timer1.start();
        // Counted once the refresh sees it play: the chain starts some clips again at once.
        if (lastStarted_.lock() != player.GraphControl) {
            lastStarted_ = player.GraphControl;
            startedClip_ = QFileInfo(announcement.ClipPath).fileName();
        }
    };
    panel_->pttShown = [this](bool on) {
        history.transmitter(on, now());
    };
    panel_->renderFailed = [this](const QString& reason) {
        history.end(QStringLiteral("failed"), reason, now());
    };

    connect(ui_->V1, &QScrollBar::valueChanged, this, &Form1::V1_Change);
    connect(ui_->V2, &QScrollBar::valueChanged, this, &Form1::V2_Change);
    // The speed bar has its highest value at the top. Qt's arrows and track ignore that
    // inversion, so a mouse step is mirrored back into the direction the operator clicked.
    connect(ui_->V2, &QAbstractSlider::actionTriggered, this, [bar = ui_->V2](int action) {
        const bool step = action == QAbstractSlider::SliderSingleStepAdd ||
                          action == QAbstractSlider::SliderSingleStepSub ||
                          action == QAbstractSlider::SliderPageStepAdd ||
                          action == QAbstractSlider::SliderPageStepSub;
        if (step && (QGuiApplication::mouseButtons() & Qt::LeftButton))
            bar->setSliderPosition(2 * bar->value() - bar->sliderPosition());
    });
    connect(ui_->H1, &QScrollBar::sliderMoved, this, &Form1::H1_Scroll);
    connect(ui_->hora_rf, &QPushButton::clicked, this, &Form1::hora_rf_Click);
    connect(ui_->Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui_->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(ui_->Command3, &QPushButton::clicked, this, &Form1::Command3_Click);

    // A box greyed by the settings file goes back to two states once the operator clicks it.
    for (QCheckBox* box : findChildren<QCheckBox*>())
        connect(box, &QCheckBox::clicked, box, [box] { box->setTristate(false); });
}

Form1::~Form1() = default;

bool Form1::Form_Load() {
    QString error;
    EchoLink = services_.createLink(&error);
    if (!EchoLink) {
        std::fprintf(stderr, "tempovox: cannot open the radio link: %s\n", qUtf8Printable(error));
        std::fflush(stderr);
        services_.exitProcess(1);
        return false;
    }
    connect(EchoLink.get(), &Link::DTMFString, this, &Form1::EchoLink_DTMFString);
    connect(EchoLink.get(), &Link::Closing, this, &Form1::EchoLink_Closing);
    keying_ = std::make_unique<TransmitKeying>(
        *EchoLink, *panel_,
        TransmitTimeout{services_.txTimeoutSeconds, [this] { return services_.clock.monotonicMs(); },
                        [this] {
                            composer_->EndAnnouncement();
                            history.end(QStringLiteral("tx-timeout"), {}, now());
                        }});
    composer_ = std::make_unique<Composer>(Composer::Parts{announcement, *panel_, player, *panel_, *keying_,
                                                           services_.programFolder, services_.voicesHelp});
    sequencer_ = std::make_unique<Sequencer>(
        Sequencer::Parts{announcement, *panel_, *composer_, player, *panel_, *keying_});
    announcer_ = std::make_unique<Announcer>(Announcer::Parts{announcement, *panel_, *composer_, player});
    scheduler_ = std::make_unique<ClockScheduler>(ClockScheduler::Parts{
        services_.clock, *panel_, *EchoLink, [this] { Announce(QStringLiteral("schedule")); },
        [this] {
            history.skipped(QStringLiteral("schedule"), now());
        }});

    const QString infoText = EchoLink->InfoObject().InfoText();
    setWindowTitle(ProductName + QStringLiteral("    ") + infoText + QStringLiteral("   ") +
                   QStringLiteral("v%1.%2.%3")
                       .arg(TEMPOVOX_VERSION_MAJOR)
                       .arg(TEMPOVOX_VERSION_MINOR)
                       .arg(TEMPOVOX_VERSION_PATCH));

    EchoLink->SetPtt(false);
    SettingsFile::load(services_.profilePath, *ui_, *this, services_.programFolder);
    ui_->V1->setValue(ui_->VolSet->text().toInt());
    announcement.AnnounceBusy = 0;
    // The voice folder and the clock fields are ready before the first request can come.
    Timer5_Timer();
    scheduler_->ShowTime();

    Timer3.start(scheduler_->MillisecondsToNextTick());
    Beacon8.start();
    return true;
}

void Form1::Timer1_Timer() {
    RefreshProgress(player, *panel_);
    if (!startedClip_.isEmpty() && player.GraphPosition && lastStarted_.lock() == player.GraphControl &&
        player.GraphPosition->CurrentPosition().value_or(0) > 0) {
        history.clipHeard(startedClip_);
        startedClip_.clear();
    }
    // Nothing left to follow until the next clip starts. A clip whose output failed stands still
    // until the watchdog clears it, and the refresh stops then.
    if (!player.GraphPosition || panel_->ClipEnded())
        Timer1.stop();
}

void Form1::Timer2_Timer() {
    sequencer_->Timer2_Timer();
}

void Form1::Timer3_Timer() {
    scheduler_->Timer3_Timer();
    Timer3.start(scheduler_->MillisecondsToNextTick());
}

void Form1::hora_rf_Click() {
    Announce(QStringLiteral("button"));
}

void Form1::announceFromPage() {
    Announce(QStringLiteral("page"));
}

void Form1::Announce(const QString& cause) {
    history.begin(cause, now());
    announcer_->SayAudioTime();
}

void Form1::releaseNow() {
    composer_->EndAnnouncement();
    history.end(QStringLiteral("stopped"), {}, now());
}

QDateTime Form1::now() const {
    return services_.clock.now();
}

// Compared exactly: no trimming, case counts, and a longer sequence that holds the code
// does not match.
void Form1::EchoLink_DTMFString(const QString& text) {
    const bool matches = text == ui_->DTMFTime->text();
    // So that an operator can tell a request that was not heard from one that did not match.
    qCInfo(lcApp).noquote() << "DTMF heard:" << text
                            << (matches ? "(matches DTMFTIME)" : "(does not match DTMFTIME)");
    if (!matches)
        return;
    history.begin(QStringLiteral("dtmf"), now());
    announcer_->SayAudioTimeForDtmf();
}

void Form1::Beacon8_Timer() {
    // A clip whose playback broke down never reaches its end, so neither the chain nor the
    // release below would ever follow it: the announcement ends here.
    if (player.PlaybackFailed()) {
        composer_->EndAnnouncement();
        history.outputFailed();
        history.end(QStringLiteral("failed"), QStringLiteral("the audio output failed"), now());
    }
    // An announcement ended early leaves no clip and the display where it stopped: with nothing
    // left to play, the idle release goes on as after a clip played to its end. A clip's last
    // sample reaches the air a little after the player has handed it over.
    const bool playedOut = panel_->ClipEnded() && !player.StillSounding();
    keying_->Beacon8_Timer(playedOut || !player.GraphControl, announcement.AnnounceBusy);
    // The last clip has played out and the transmitter is released: the announcement is over.
    if (history.running() && (playedOut || !player.GraphControl) && announcement.AnnounceBusy == 0 &&
        !Timer2.isActive())
        history.end(QStringLiteral("played"), {}, now());
}

void Form1::Timer5_Timer() {
    const QString& folder = services_.programFolder;
    if (ui_->Option3->isChecked()) {
        ui_->FileLocation->setText(folder + VoiceLibrary::EnglishFolder);
        ui_->OptionWAV->setChecked(true);
    }
    if (ui_->Option4->isChecked()) {
        ui_->FileLocation->setText(folder + VoiceLibrary::SpanishFolder);
        ui_->OptionWAV->setChecked(true);
    }
    if (ui_->Option8->isChecked()) {
        ui_->FileLocation->setText(folder + VoiceLibrary::EnglishFolder);
        ui_->OptionWAV->setChecked(true);
    }
    if (ui_->Option7->isChecked()) {
        ui_->FileLocation->setText(folder + VoiceLibrary::PortugueseFolder);
        ui_->OptionWAV->setChecked(true);
    }
    if (ui_->Option10->isChecked())
        ui_->FileLocation->setText(folder + VoiceLibrary::EnglishFolder);
}

void Form1::V1_Change() {
    player.applyVolume(ui_->V1->value()); // no clip loaded: nothing to change, by design
    ui_->VolSet->setText(QString::number(ui_->V1->value()));
}

void Form1::V2_Change() {
    player.applyRate(ui_->V2->value() / 100.0);
}

void Form1::H1_Scroll() {
    player.seek(ui_->H1->value());
}

void Form1::Command1_Click() {
    SaveData();
}

void Form1::Command2_Click() {
    if (services_.dialogs.askYesNo(this, tr("Tem certeza que quer sair?"), services_.programName,
                                   Dialogs::DefaultButton::No))
        services_.exitProcess(0);
}

// Modal: the main window takes no input meanwhile, but its timers keep announcing.
void Form1::Command3_Click() {
    sobre_adicional box(AboutPages{services_.aboutFirstPage, services_.aboutSecondPage}, this);
    box.exec();
}

void Form1::Form_QueryUnload(int& Cancel, int /*UnloadMode*/) {
    const bool yes =
        services_.dialogs.askYesNo(this, tr("Quit Program - Are You Sure ? Remember To Save Any Changes  "),
                                   tr("Exit Program"), Dialogs::DefaultButton::Yes);
    if (!yes) {
        Cancel = 1;
        return;
    }
    ConfirmedExit();
}

void Form1::ConfirmedExit() {
    if (keying_)
        keying_->PttOff();
    services_.exitProcess(0);
}

void Form1::EchoLink_Closing() {
    // The link is going away: a failed call changes nothing about ending now.
    EchoLink->SetPtt(false);
    EchoLink->AcknowledgeClosing(0);
    services_.exitProcess(0);
}

void Form1::SaveData() {
    QString error;
    saveSettings(&error); // logged there; the button shows nothing
}

bool Form1::saveSettings(QString* error) {
    return SettingsFile::save(services_.profilePath, *ui_, *this, error);
}

void Form1::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}
