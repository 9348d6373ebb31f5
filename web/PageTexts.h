// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>

// The station page's texts in the window's language, keyed by the names the page uses. They go
// through the same translation files as the window's captions.
QJsonObject pageTexts();
