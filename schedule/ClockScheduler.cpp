// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClockScheduler.h"

#include "Clock.h"
#include "Link.h"
#include "ScheduleLog.h"
#include "SchedulePanel.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace {
constexpr int TickSlackMs = 5;

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

constexpr qint64 ForgetAfterStepBackMs = 24 * 3600 * 1000;

qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

qint64 FloorMod(qint64 a, qint64 b) {
    return a - FloorDiv(a, b) * b;
}

QString Stamp(const QDateTime& at) {
    return at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss t"));
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
    const QDateTime now = ShowTime();
    // A busy state that cannot be read counts as busy: never key over a link in use.
    const bool busy = p_.link.LinkBusy().value_or(true);

    const qint64 nowMs = now.toMSecsSinceEpoch();
    // The first tick sees its own second only, as a tick without a past would.
    qint64 fromMs = lastLookedMs_.value_or(FloorDiv(nowMs, 1000) * 1000 - 1);
    // A clock that was more than a day ahead announced marks of a day that has not come; the
    // corrected clock announces them when they do.
    if (lastLookedMs_ && nowMs < *lastLookedMs_ - ForgetAfterStepBackMs)
        lastMarkMs_.reset();
    lastLookedMs_ = nowMs;
    // A clock stepped back passes marks already announced again: they are not repeated.
    if (lastMarkMs_)
        fromMs = std::max(fromMs, *lastMarkMs_);
    if (nowMs <= fromMs)
        return;

    // Marks fall on whole minutes of UTC wherever the zone's offset is whole minutes, and a
    // daylight-saving change moves the offset by whole hours, so the minute past the hour of
    // a mark follows from the offset now.
    const qint64 firstMinute = FloorDiv(fromMs, 60'000) + 1;
    const qint64 lastMinute = FloorDiv(nowMs, 60'000);
    const int offsetMinutes = now.offsetFromUtc() / 60;
    qint64 passed = 0;
    std::optional<qint64> latest; // UTC minute of the latest mark passed
    for (const int minute : {0, 15, 30, 45}) {
        if (!MarkEnabled(minute))
            continue;
        const qint64 residue = FloorMod(minute - offsetMinutes, 60);
        passed += FloorDiv(lastMinute - residue, 60) - FloorDiv(firstMinute - 1 - residue, 60);
        const qint64 last = lastMinute - FloorMod(lastMinute - residue, 60);
        if (last >= firstMinute && (!latest || last > *latest))
            latest = last;
    }
    if (!latest)
        return;
    const qint64 markMs = *latest * 60'000;
    lastMarkMs_ = markMs;
    const bool fresh = nowMs - markMs <= MaxLateMs;
    if (const qint64 late = passed - (fresh ? 1 : 0); late > 0) {
        qCWarning(lcSchedule).noquote()
            << QStringLiteral("the clock moved from %1 to %2: %3 mark(s) passed more "
                              "than %4 s ago, not announced late")
                   .arg(Stamp(now.addMSecs(fromMs - nowMs)), Stamp(now))
                   .arg(late)
                   .arg(MaxLateMs / 1000);
    }
    if (!fresh)
        return;
    if (busy) {
        qCInfo(lcSchedule).noquote() << QStringLiteral("the link is busy: no announcement for %1")
                                            .arg(Stamp(now.addMSecs(markMs - nowMs)));
        if (p_.skippedBusy)
            p_.skippedBusy();
        return;
    }
    p_.sayAudioTime();
}

bool ClockScheduler::MarkEnabled(int minute) const {
    switch (minute) {
    case 0:
        return p_.panel.OnHour() == 1;
    case 15:
    case 45:
        return p_.panel.QuarterHour() == 1;
    case 30:
        return p_.panel.HalfHour() == 1;
    }
    return false;
}

int ClockScheduler::MillisecondsToNextTick() const {
    return 1000 - p_.clock.now().time().msec() + TickSlackMs;
}
