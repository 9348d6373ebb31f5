// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkLog.h"

Q_LOGGING_CATEGORY(lcLink, "tempovox.link")
