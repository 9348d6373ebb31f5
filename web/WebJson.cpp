// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebJson.h"

QString WebJson::time(const QDateTime& at) {
    if (!at.isValid())
        return {};
    // Qt writes "Z" for UTC; the API always gives the offset in the same form.
    const QDateTime whole = at.addMSecs(-at.time().msec());
    const int offset = whole.offsetFromUtc();
    const QString sign = offset < 0 ? QStringLiteral("-") : QStringLiteral("+");
    return whole.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + sign +
           QStringLiteral("%1:%2")
               .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
}

namespace {
QJsonValue timeOrNull(const QDateTime& at) {
    return at.isValid() ? QJsonValue(WebJson::time(at)) : QJsonValue();
}
} // namespace

QJsonObject WebJson::status(const StationStatus& s) {
    QJsonValue next;
    if (s.next)
        next = QJsonObject{{QStringLiteral("at"), time(s.next->at)},
                           {QStringLiteral("text"), s.next->text},
                           {QStringLiteral("clips"), QJsonArray::fromStringList(s.next->clips)}};
    QJsonValue running;
    if (s.announcement)
        running = QJsonObject{{QStringLiteral("cause"), s.announcement->cause},
                              {QStringLiteral("started"), timeOrNull(s.announcement->started)},
                              {QStringLiteral("clip"), s.announcement->clip},
                              {QStringLiteral("position"), s.announcement->position},
                              {QStringLiteral("duration"), s.announcement->duration}};
    return {
        {QStringLiteral("station"), QJsonObject{{QStringLiteral("version"), s.version},
                                                {QStringLiteral("language"), s.language},
                                                {QStringLiteral("headless"), s.headless}}},
        {QStringLiteral("clock"), time(s.clock)},
        {QStringLiteral("transmitter"), QJsonObject{{QStringLiteral("keyed"), s.keyed},
                                                    {QStringLiteral("since"), timeOrNull(s.keyedSince)}}},
        {QStringLiteral("link"),
         QJsonObject{{QStringLiteral("state"), s.linkState},
                     {QStringLiteral("backend"), s.linkBackend},
                     {QStringLiteral("info"), s.linkInfo},
                     {QStringLiteral("peers"), s.linkPeers ? QJsonValue(*s.linkPeers) : QJsonValue()}}},
        {QStringLiteral("next"), next},
        {QStringLiteral("announcement"), running},
        {QStringLiteral("volume"), s.volume},
        {QStringLiteral("speed"), s.speed},
    };
}

QJsonObject WebJson::announcement(const AnnouncementRecord& r) {
    return {{QStringLiteral("at"), time(r.at)},
            {QStringLiteral("cause"), r.cause},
            {QStringLiteral("clips"), QJsonArray::fromStringList(r.clips)},
            {QStringLiteral("outcome"), r.outcome},
            {QStringLiteral("reason"), r.reason},
            {QStringLiteral("seconds"), qRound(r.seconds * 100) / 100.0}};
}

QJsonObject WebJson::logLine(const LogLine& line) {
    return {{QStringLiteral("at"), time(line.at)}, {QStringLiteral("text"), line.text}};
}

QJsonObject WebJson::settings(const StationSettings& settings) {
    QJsonObject values;
    for (auto it = settings.values.cbegin(); it != settings.values.cend(); ++it)
        values.insert(it.key(), it.value());
    return {{QStringLiteral("values"), values},
            {QStringLiteral("disabled"), QJsonArray::fromStringList(settings.disabled)}};
}

namespace {
// Prometheus label values escape the backslash, the double quote and the line feed.
QByteArray label(const QString& value) {
    QByteArray text = value.toUtf8();
    text.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return text;
}

QByteArray number(double value) {
    return QByteArray::number(value, 'g', 15);
}

void family(QByteArray& out, const char* name, const char* type, const char* help) {
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}
} // namespace

QByteArray WebJson::metrics(const StationCounters& c, bool keyed) {
    QByteArray out;
    family(out, "tempovox_up", "gauge", "1 while the station answers.");
    out += "tempovox_up 1\n";
    family(out, "tempovox_announcements_total", "counter",
           "Announcements since start, by cause and outcome.");
    // Every cause and outcome from the start, at 0 until it happens, so that a rate over the
    // first one is not lost.
    QMap<QPair<QString, QString>, qint64> counts = c.announcements;
    for (const char* cause : {"schedule", "dtmf", "button", "page"}) {
        for (const char* outcome : {"played", "skipped-busy", "failed", "tx-timeout", "stopped"})
            counts.insert({QString::fromLatin1(cause), QString::fromLatin1(outcome)},
                          c.announcements.value({QString::fromLatin1(cause), QString::fromLatin1(outcome)}));
    }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        out += "tempovox_announcements_total{cause=\"" + label(it.key().first) + "\",outcome=\"" +
               label(it.key().second) + "\"} " + QByteArray::number(it.value()) + '\n';
    family(out, "tempovox_transmitter_keyed_seconds_total", "counter",
           "Seconds the transmitter was keyed since start.");
    out += "tempovox_transmitter_keyed_seconds_total " + number(c.keyedSeconds) + '\n';
    family(out, "tempovox_transmitter_keyed", "gauge", "1 while the transmitter is keyed.");
    out += QByteArray("tempovox_transmitter_keyed ") + (keyed ? "1" : "0") + '\n';
    family(out, "tempovox_last_announcement_heard_timestamp_seconds", "gauge",
           "When the last announcement that went out ended, in seconds since the epoch; 0 before the first.");
    out += "tempovox_last_announcement_heard_timestamp_seconds " +
           number(c.lastHeard ? double(c.lastHeard->toMSecsSinceEpoch()) / 1000.0 : 0.0) + '\n';
    family(out, "tempovox_link_busy", "gauge", "1 while the link reports the channel in use.");
    out += QByteArray("tempovox_link_busy ") + (c.linkBusy ? "1" : "0") + '\n';
    family(out, "tempovox_output_failures_total", "counter", "Audio output failures since start.");
    out += "tempovox_output_failures_total " + QByteArray::number(c.outputFailures) + '\n';
    return out;
}
