// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageTexts.h"

QJsonObject pageTexts() {
    return {};
}
