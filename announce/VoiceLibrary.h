#pragma once

#include <QString>

// The voice folders that ship with the program, relative to the program's folder. The
// English one is also where a failed load falls back to.
namespace VoiceLibrary {
inline const QString EnglishFolder = QStringLiteral("/WavFiles/US_Kate/");
inline const QString SpanishFolder = QStringLiteral("/WavFiles/Español/");
inline const QString PortugueseFolder = QStringLiteral("/WavFiles/brasil/");
} // namespace VoiceLibrary
