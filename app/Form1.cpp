#include "Form1.h"

#include "Controls.h"
#include "Dialogs.h"
#include "Link.h"
#include "SettingsFile.h"
#include "VoiceLibrary.h"
#include "ui_Form1.h"

#include <QCloseEvent>
#include <QGuiApplication>

#include <cstdio>

namespace {
const QString ProductName = QStringLiteral("Tempovox");
const QColor PttOnColour(255, 0, 0);
const QColor PttOffColour(0, 128, 0);
} // namespace

Form1::Form1(Form1Services services, QWidget* parent)
    : QWidget(parent)
    , player(services.graphs)
    , services_(std::move(services))
    , ui_(std::make_unique<Ui::Form1>()) {
    // The button pictures sit in a static library, whose resources are not registered by themselves.
    Q_INIT_RESOURCE(resources);
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    Timer1.setInterval(10);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setInterval(1);
    Timer2.setTimerType(Qt::PreciseTimer);
    Timer3.setInterval(1000);
    Timer5.setInterval(100);
    Beacon8.setInterval(1000);
    connect(&Timer5, &QTimer::timeout, this, &Form1::Timer5_Timer);

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
    connect(ui_->Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui_->Command2, &QPushButton::clicked, this, &Form1::Command2_Click);

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
    connect(EchoLink.get(), &Link::Closing, this, &Form1::EchoLink_Closing);
    keying_ = std::make_unique<TransmitKeying>(*EchoLink, static_cast<PttIndicator&>(*this));

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

    Timer1.start();
    Timer3.start();
    Timer5.start();
    Beacon8.start();
    return true;
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
    if (services_.dialogs.askYesNo(this, QStringLiteral("Tem certeza que quer sair?"), services_.programName,
                                   Dialogs::DefaultButton::No))
        services_.exitProcess(0);
}

void Form1::Form_QueryUnload(int& Cancel, int /*UnloadMode*/) {
    const bool yes = services_.dialogs.askYesNo(
        this, QStringLiteral("Quit Program - Are You Sure ? Remember To Save Any Changes  "),
        QStringLiteral("Exit Program"), Dialogs::DefaultButton::Yes);
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
    SettingsFile::save(services_.profilePath, *ui_, *this, &error); // logged there; the button shows nothing
}

void Form1::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

void Form1::showPtt(bool on) {
    QPalette palette = ui_->PTT->palette();
    palette.setColor(QPalette::WindowText, on ? PttOnColour : PttOffColour);
    ui_->PTT->setPalette(palette);
    ui_->PTT->setText(on ? QStringLiteral("PTT ON") : QStringLiteral("PTT OFF"));
}
