// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecondsText.h"

#include <QLocale>

#include <limits>

QString SecondsText(double seconds) {
    // The progress refresh asks every 10 ms, between announcements always for the same value.
    thread_local double lastSeconds = std::numeric_limits<double>::quiet_NaN();
    thread_local QString lastText;
    if (seconds == lastSeconds)
        return lastText;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    lastText = locale.toString(seconds, 'g', 15);
    lastSeconds = seconds;
    return lastText;
}
