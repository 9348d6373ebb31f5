// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LinkSettings.h"

#include <QString>

// Settings that exist only because this platform differs from the one the program was first
// written for. They live in their own sections, which "Salvar" never writes.
LinkSettings readLinkSettings(const QString& profilePath);

// [AUDIO] SINK: a GStreamer sink description for the clips; empty means the desktop's default.
QString readAudioSink(const QString& profilePath);

// Tempovox.ini in $XDG_CONFIG_HOME (default ~/.config): one file, whatever the working folder.
QString defaultProfilePath();
