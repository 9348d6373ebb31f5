// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebStation.h"

#include "Clock.h"
#include "Controls.h"
#include "Form1.h"
#include "Link.h"
#include "LogRing.h"
#include "SettingsFile.h"
#include "SocketLink.h"
#include "VoiceLibrary.h"
#include "ui_Form1.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace {
// A busy state read less than this long ago is still good: some back-ends ask the radio.
constexpr qint64 BusyFreshMs = 500;

qint64 monotonicMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

QString twoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}
} // namespace

WebStation::WebStation(Form1& window, LogRing& log, Info info)
    : window_(window)
    , log_(log)
    , info_(std::move(info))
    , started_(QDateTime::currentDateTime()) {
    Ui::Form1& ui = window_.controls();
    connect(&window_.history, &AnnouncementHistory::changed, this, &StationModel::statusChanged);
    connect(&window_.history, &AnnouncementHistory::ended, this, &StationModel::announcementEnded);
    connect(&log_, &LogRing::lineAdded, this, &StationModel::logLineAdded);
    if (window_.EchoLink) {
        connect(window_.EchoLink.get(), &Link::StateChanged, this, [this] {
            busyReadMs_ = -1; // read afresh
            Q_EMIT statusChanged();
        });
    }
    connect(ui.V1, &QScrollBar::valueChanged, this, &StationModel::statusChanged);
    connect(ui.V2, &QScrollBar::valueChanged, this, &StationModel::statusChanged);

    settingsChanged_.setSingleShot(true);
    settingsChanged_.setInterval(0);
    connect(&settingsChanged_, &QTimer::timeout, this, [this] {
        Q_EMIT settingsChanged();
        Q_EMIT statusChanged(); // the next mark follows the choices
    });
    for (QAbstractButton* button : window_.findChildren<QAbstractButton*>()) {
        if (qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button))
            connect(button, &QAbstractButton::toggled, &settingsChanged_, qOverload<>(&QTimer::start));
    }
    for (QCheckBox* box : window_.findChildren<QCheckBox*>())
        connect(box, &QCheckBox::stateChanged, &settingsChanged_, qOverload<>(&QTimer::start));
    for (QLineEdit* edit : {ui.FileLocation, ui.DTMFTime, ui.VolSet})
        connect(edit, &QLineEdit::textChanged, &settingsChanged_, qOverload<>(&QTimer::start));
}

std::optional<bool> WebStation::linkBusy() const {
    if (!window_.EchoLink)
        return std::nullopt;
    if (busyReadMs_ < 0 || monotonicMs() - busyReadMs_ > BusyFreshMs) {
        busy_ = window_.EchoLink->LinkBusy();
        busyReadMs_ = monotonicMs();
    }
    return busy_;
}

StationStatus WebStation::status() const {
    const Ui::Form1& ui = window_.controls();
    StationStatus s;
    s.version = info_.version;
    s.language = info_.language;
    s.headless = info_.headless;
    s.clock = window_.now();
    s.keyed = window_.history.keyed();
    s.keyedSince =
        window_.history.transmitterSince().isValid() ? window_.history.transmitterSince() : started_;
    const auto busy = linkBusy();
    s.linkState = !busy ? QStringLiteral("unknown") : *busy ? QStringLiteral("busy") : QStringLiteral("free");
    s.linkBackend = info_.backend;
    if (window_.EchoLink) {
        s.linkInfo = window_.EchoLink->InfoObject().InfoText();
        if (const auto* socket = qobject_cast<const SocketLink*>(window_.EchoLink.get()))
            s.linkPeers = socket->clientCount();
    }
    s.next = nextMark(s.clock);
    if (const auto& running = window_.history.running()) {
        StationStatus::Running r{running->cause, running->at,
                                 running->clips.value(running->clips.size() - 1)};
        if (const auto& position = window_.player.GraphPosition) {
            r.position = position->CurrentPosition().value_or(0);
            r.duration = position->Duration().value_or(0);
        }
        s.announcement = r;
    }
    s.volume = ui.V1->value();
    s.speed = ui.V2->value();
    return s;
}

std::optional<StationStatus::Next> WebStation::nextMark(const QDateTime& now) const {
    const Ui::Form1& ui = window_.controls();
    QList<int> minutes;
    if (checkValue(ui.OnHour) == 1)
        minutes << 0;
    if (checkValue(ui.QuarterHour) == 1)
        minutes << 15 << 45;
    if (checkValue(ui.HalfHour) == 1)
        minutes << 30;
    if (minutes.isEmpty())
        return std::nullopt;
    // The first mark strictly after this second, within the next hour.
    const QDateTime hour = now.addMSecs(
        -QTime(0, 0).msecsTo(QTime(0, now.time().minute(), now.time().second(), now.time().msec())));
    std::sort(minutes.begin(), minutes.end());
    QDateTime at;
    for (int h = 0; h < 2 && !at.isValid(); ++h) {
        for (int minute : minutes) {
            const QDateTime candidate = hour.addSecs(h * 3600 + minute * 60);
            if (candidate > now) {
                at = candidate;
                break;
            }
        }
    }
    // The clips as the composer will pick them: a preamble when the window asks for one, the
    // words, then AM/PM or the blank clip.
    const QString extension = ui.OptionWAV->isChecked() ? QStringLiteral(".wav") : QStringLiteral(".mp3");
    QStringList stems;
    if (checkValue(ui.Check2) == 1) {
        const int hour24 = at.time().hour();
        if (ui.Option9->isChecked())
            stems << VoiceLibrary::GreetingFor(hour24);
        else if (ui.Option6->isChecked())
            stems << VoiceLibrary::DingDong2;
        else if (ui.Option5->isChecked())
            stems << VoiceLibrary::DingDong;
    }
    const int hour24 = at.time().hour();
    const int shownHour = ui.Option1->isChecked() ? (hour24 % 12 == 0 ? 12 : hour24 % 12) : hour24;
    const bool longChain = checkValue(ui.Check1) != 0;
    stems << VoiceLibrary::TheTimeIs << twoDigits(shownHour);
    if (longChain)
        stems << VoiceLibrary::Hour;
    stems << twoDigits(at.time().minute());
    if (longChain)
        stems << VoiceLibrary::Minutes;
    stems << (checkValue(ui.AMPM) == 0 ? VoiceLibrary::Blank
              : hour24 < 12            ? QStringLiteral("AM")
                                       : QStringLiteral("PM"));
    QStringList clips;
    for (const QString& stem : stems)
        clips << stem + extension;
    return StationStatus::Next{
        at, twoDigits(at.time().hour()) + QLatin1Char(':') + twoDigits(at.time().minute()), clips};
}

QList<AnnouncementRecord> WebStation::announcements() const {
    return window_.history.records();
}

QList<LogLine> WebStation::logLines() const {
    return log_.lines();
}

StationSettings WebStation::settings() const {
    return {SettingsFile::values(window_.controls()), SettingsFile::disabledKeys(window_.controls())};
}

StationCounters WebStation::counters() const {
    StationCounters c = window_.history.counters(window_.now());
    c.linkBusy = linkBusy().value_or(false);
    return c;
}

bool WebStation::applySettings(const QMap<QString, QString>& values, QString* error, bool* saveFailed) {
    Ui::Form1& ui = window_.controls();
    *saveFailed = false;
    const QMap<QString, QString> before = SettingsFile::values(ui);
    const auto apply = [&](const QMap<QString, QString>& wanted, QString* why) {
        if (!SettingsFile::applyValues(wanted, ui, why))
            return false;
        // The window's own rules: a language choice sets the voice folder, the volume moves its bar.
        window_.Timer5_Timer();
        if (wanted.contains(QStringLiteral("VOLSET")))
            ui.V1->setValue(ui.VolSet->text().toInt());
        return true;
    };
    if (!apply(values, error))
        return false;
    if (!window_.saveSettings(error)) {
        // The file keeps what it had, and so does the window.
        QString ignored;
        apply(before, &ignored);
        *saveFailed = true;
        return false;
    }
    return true;
}

void WebStation::announce() {
    window_.announceFromPage();
}

void WebStation::release() {
    window_.releaseNow();
}

void WebStation::setVolume(int hundredthsOfDb) {
    window_.controls().V1->setValue(hundredthsOfDb);
}

void WebStation::setSpeed(int percent) {
    window_.controls().V2->setValue(percent);
}
