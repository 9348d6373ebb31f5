// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StationModel.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

// The API's JSON and the metrics' text, made from the station's plain values in one place.
namespace WebJson {

// RFC 3339 with the offset, to the second: "2026-12-07T14:15:03+00:00".
QString time(const QDateTime& at);

QJsonObject status(const StationStatus& status);
QJsonObject announcement(const AnnouncementRecord& record);
QJsonObject logLine(const LogLine& line);
QJsonObject settings(const StationSettings& settings);

// Prometheus's text exposition format.
QByteArray metrics(const StationCounters& counters, bool keyed);

} // namespace WebJson
