// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScheduleLog.h"

Q_LOGGING_CATEGORY(lcSchedule, "tempovox.schedule")
