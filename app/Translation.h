// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The language of the windows and message boxes. The Portuguese captions are the source text;
// English and Spanish translations are compiled in. Log lines are never translated.
namespace Translation {

// The language to show for the user's languages, most wanted first, as QLocale::uiLanguages()
// lists them: "en" or "es", or empty for the original captions. The first language that is
// Portuguese or has a translation decides; any other is passed over, as a gettext program
// passes over a language it lacks.
QString choose(const QStringList& uiLanguages);

// Installs the translation chosen for uiLanguages, with Qt's own for the standard buttons
// when Qt's translations are installed. Returns the language installed, empty when none.
// Call once, after the application object exists and before any window is made.
QString install(QCoreApplication& app, const QStringList& uiLanguages);

} // namespace Translation
