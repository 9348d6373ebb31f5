// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebToken.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr int MinimumLength = 16;
constexpr int RandomWords = 8; // 256 bits
constexpr qint64 MaximumFileSize = 4096;
} // namespace

QString WebToken::defaultPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        return QDir::cleanPath(runtime + QStringLiteral("/tempovox/web-token"));
    return QStringLiteral("/tmp/tempovox-%1/web-token").arg(::getuid());
}

bool WebToken::loadOrCreate(const QString& path, QByteArray* token, QString* error) {
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    if (::stat(encoded.constData(), &st) == 0) {
        if ((st.st_mode & 077) != 0) {
            *error = QStringLiteral("token file %1 may be read by others; make it private with chmod 600")
                         .arg(path);
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read token file %1: %2").arg(path, file.errorString());
            return false;
        }
        *token = file.read(MaximumFileSize).trimmed();
        if (token->size() < MinimumLength || token->contains(' ') || token->contains('\n')) {
            *error = QStringLiteral("token file %1 holds no token of %2 characters or more on one line; "
                                    "remove it to have a new one made")
                         .arg(path)
                         .arg(MinimumLength);
            return false;
        }
        return true;
    }
    if (errno != ENOENT) {
        *error = QStringLiteral("cannot read token file %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }

    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) && ::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 &&
        !QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create folder %1 for the token").arg(folder);
        return false;
    }
    quint32 random[RandomWords];
    QRandomGenerator::system()->fillRange(random);
    const QByteArray made = QByteArray(reinterpret_cast<const char*>(random), sizeof random)
                                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    // Made private and new in one step, so that nobody can open it in between.
    const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const QByteArray line = made + '\n';
    const bool written = fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == line.size();
    const int writeErrno = errno;
    if (fd >= 0)
        ::close(fd);
    if (!written) {
        *error = QStringLiteral("cannot write token file %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(writeErrno)));
        return false;
    }
    *token = made;
    return true;
}

bool WebToken::matches(const QByteArray& expected, const QByteArray& given) {
    // Hashing first makes both sides the same length, so the loop below never stops early
    // and the length of the secret does not show either.
    const QByteArray a = QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(given, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}
