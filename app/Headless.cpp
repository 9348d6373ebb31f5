// SPDX-License-Identifier: GPL-3.0-or-later
#include "Headless.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {
bool unixSocketAccepts(const QByteArray& path) {
    sockaddr_un address{};
    if (path.size() >= static_cast<qsizetype>(sizeof(address.sun_path)))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}
} // namespace

bool displayReachable() {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return false;
    const auto local = QRegularExpression(QStringLiteral("^(?:unix)?:(\\d+)(?:\\.\\d+)?$")).match(display);
    if (!local.hasMatch())
        return true;
    return unixSocketAccepts("/tmp/.X11-unix/X" + local.captured(1).toUtf8());
}
