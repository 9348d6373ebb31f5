// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// The secret that every request but the static files must show.
namespace WebToken {

// $XDG_RUNTIME_DIR/tempovox/web-token, or /tmp/tempovox-<uid>/web-token without a runtime folder.
QString defaultPath();

// Reads the token from `path`, or makes a random one there (mode 0600, its folder 0700) when the
// file does not exist. Refuses a file others may read and one too short to be a secret.
bool loadOrCreate(const QString& path, QByteArray* token, QString* error);

// In time that depends on the length of `given` only, never on where it differs.
bool matches(const QByteArray& expected, const QByteArray& given);

} // namespace WebToken
