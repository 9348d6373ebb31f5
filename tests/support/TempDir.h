// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

// A temporary folder that a test may fill with files; removed with everything in it at the end.
class TempDir {
public:
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

    QString write(const QString& name, const QByteArray& content) const {
        const QString filePath = file(name);
        QDir().mkpath(QFileInfo(filePath).absolutePath());
        QFile f(filePath);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return filePath;
    }

    QByteArray read(const QString& name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
};
