#pragma once

#include <QString>

// The [LINK] section of the settings file: which back-end carries the link and how.
struct LinkSettings {
    QString backend = QStringLiteral("socket");
    QString socketPath; // empty: the default path in the user's runtime folder
    QString info;       // empty: the back-end describes itself
    // The longest the transmitter may stay keyed without a release; 0 switches the limit off.
    int txTimeoutSeconds = 180;
};
