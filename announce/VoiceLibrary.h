// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The clip names of a voice folder and the voice folders that ship with the program. A clip
// file is the voice folder, the stem and ".wav" or ".mp3"; hours, minutes and AM/PM use the
// texts of the clock fields ("00" to "59", "AM", "PM") as stems.
namespace VoiceLibrary {
inline const QString Blank = QStringLiteral("Blank");
inline const QString DingDong = QStringLiteral("DingDong");
inline const QString DingDong2 = QStringLiteral("DingDong2");
inline const QString GoodMorning = QStringLiteral("GoodMorning");     // played 0-11
inline const QString GoodEvening = QStringLiteral("GoodEvening");     // played 12-17
inline const QString GoodAfternoon = QStringLiteral("GoodAfternoon"); // played 18-23
inline const QString TheTimeIs = QStringLiteral("TheTimeIs");
inline const QString Hour = QStringLiteral("Hour");
inline const QString Minutes = QStringLiteral("Minutes");

// The greeting of an hour of the day, 0 to 23; none for any other number.
inline QString GreetingFor(int hour) {
    if (hour >= 0 && hour <= 11)
        return GoodMorning;
    if (hour >= 12 && hour <= 17)
        return GoodEvening;
    if (hour >= 18 && hour <= 23)
        return GoodAfternoon;
    return {};
}

// Relative to the program's folder. The English voice is also where a failed load falls back to.
inline const QString EnglishFolder = QStringLiteral("/WavFiles/US_Kate/");
inline const QString SpanishFolder = QStringLiteral("/WavFiles/Español/");
inline const QString PortugueseFolder = QStringLiteral("/WavFiles/brasil/");
} // namespace VoiceLibrary
