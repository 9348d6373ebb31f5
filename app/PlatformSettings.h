// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LinkSettings.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

// Settings that exist only because this platform differs from the one the program was first
// written for. They live in their own sections, which "Salvar" never writes.
LinkSettings readLinkSettings(const QString& profilePath);

// [AUDIO] SINK: a GStreamer sink description for the clips; empty means the desktop's default.
QString readAudioSink(const QString& profilePath);

// [WEB]: where the station page listens and who may reach it.
struct WebSettings {
    bool enabled = true;  // LISTEN given empty switches the page off
    QString listen;       // as the operator wrote it, for messages
    QHostAddress address; // LISTEN's address ...
    quint16 port = 8073;  // ... and port
    QString hostName;     // LISTEN's host when it is a name (localhost)
    QString tokenFile;    // empty: the default in the runtime folder
    QStringList hosts;    // further names the Host header may give
};
WebSettings readWebSettings(const QString& profilePath);

// Tempovox.ini in $XDG_CONFIG_HOME (default ~/.config): one file, whatever the working folder.
QString defaultProfilePath();
