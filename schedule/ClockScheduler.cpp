// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClockScheduler.h"

#include "Clock.h"
#include "Link.h"
#include "SchedulePanel.h"

#include <QLocale>
#include <QRegularExpression>

namespace {
constexpr int TickSlackMs = 5;

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString MinutesAndSeconds(const QDateTime& now) {
    return now.time().toString(QStringLiteral("mm:ss"));
}
} // namespace

QString ClockScheduler::TimeText(const QTime& time) {
    // The locale's long form without the zone's name; worked out once, as the locale stays.
    static const QString format = [] {
        QString longFormat = QLocale().timeFormat(QLocale::LongFormat);
        return longFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*"))).trimmed();
    }();
    return QLocale().toString(time, format);
}

QDateTime ClockScheduler::ShowTime() {
    const QDateTime now = p_.clock.now();
    const int hour = now.time().hour();
    p_.panel.SetShowTheTime(TimeText(now.time()));
    const int shownHour = p_.panel.Option1() ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
    p_.panel.SetHH(TwoDigits(shownHour));
    p_.panel.SetMM(TwoDigits(now.time().minute()));
    p_.panel.SetAM_PM(hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
    return now;
}

void ClockScheduler::Timer3_Timer() {
    ShowTime();

    // A busy state that cannot be read counts as busy: never key over a link in use.
    if (p_.link.LinkBusy().value_or(true)) {
        if (p_.skippedBusy && MarkDue(p_.clock.now()))
            p_.skippedBusy();
        return;
    }

    QDateTime at = p_.clock.now();
    if (MinutesAndSeconds(at) == QLatin1String("00:00") && p_.panel.OnHour() == 1)
        Trigger(at);
    at = p_.clock.now();
    const QString quarter = MinutesAndSeconds(at);
    if ((quarter == QLatin1String("15:00") || quarter == QLatin1String("45:00")) &&
        p_.panel.QuarterHour() == 1)
        Trigger(at);
    at = p_.clock.now();
    if (MinutesAndSeconds(at) == QLatin1String("30:00") && p_.panel.HalfHour() == 1)
        Trigger(at);
}

bool ClockScheduler::MarkDue(const QDateTime& at) const {
    const QString mark = MinutesAndSeconds(at);
    return (mark == QLatin1String("00:00") && p_.panel.OnHour() == 1) ||
           ((mark == QLatin1String("15:00") || mark == QLatin1String("45:00")) &&
            p_.panel.QuarterHour() == 1) ||
           (mark == QLatin1String("30:00") && p_.panel.HalfHour() == 1);
}

void ClockScheduler::Trigger(const QDateTime& at) {
    const QDateTime minute(at.date(), QTime(at.time().hour(), at.time().minute()));
    const qint64 nowMs = p_.clock.monotonicMs();
    if (lastTrigger_ == minute && nowMs - lastTriggerMs_ < 60000)
        return;
    lastTrigger_ = minute;
    lastTriggerMs_ = nowMs;
    p_.sayAudioTime();
}

int ClockScheduler::MillisecondsToNextTick() const {
    return 1000 - p_.clock.now().time().msec() + TickSlackMs;
}
