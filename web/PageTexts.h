// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

// The station page's texts in the window's language, keyed by the names the page uses. They go
// through the same translation files as the window's captions.
QJsonObject pageTexts();

// The same texts in the language named ("en", "es"; any other gives the Portuguese originals),
// from the translations compiled in under :/i18n, whichever one is installed: a headless station
// installs none, yet its page speaks the language its window would.
QJsonObject pageTexts(const QString& language);
