// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationPage.h"

#include "WebToken.h"

#include <cstdio>

namespace {
void say(const QString& line) {
    // Straight to stderr, not through the log: the address carries the token.
    std::fprintf(stderr, "tempovox: %s\n", qUtf8Printable(line));
    std::fflush(stderr);
}
} // namespace

std::unique_ptr<StationPage> StationPage::start(Form1& window, LogRing& log, const WebSettings& settings,
                                                WebStation::Info info) {
    if (!settings.enabled)
        return nullptr;
    const QString tokenFile = settings.tokenFile.isEmpty() ? WebToken::defaultPath() : settings.tokenFile;
    WebServerOptions options;
    QString error;
    if (!WebToken::loadOrCreate(tokenFile, &options.token, &error)) {
        say(QStringLiteral("station page off: %1").arg(error));
        return nullptr;
    }
    options.address = settings.address;
    options.port = settings.port;
    options.hostName = settings.hostName;
    options.hosts = settings.hosts;
    std::unique_ptr<StationPage> page(new StationPage(window, log, std::move(info), std::move(options)));
    if (!page->server_.start(&error)) {
        say(QStringLiteral("station page off: cannot listen on %1: %2").arg(settings.listen, error));
        return nullptr;
    }
    // An address that listens everywhere is opened on this computer as localhost.
    QString host = settings.hostName.isEmpty() ? settings.address.toString() : settings.hostName;
    if (settings.address == QHostAddress::Any || settings.address == QHostAddress::AnyIPv4 ||
        settings.address == QHostAddress::AnyIPv6)
        host = QStringLiteral("localhost");
    else if (settings.address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    say(QStringLiteral("station page at http://%1:%2/?token=%3")
            .arg(host)
            .arg(page->server_.port())
            .arg(QString::fromLatin1(page->server_.token())));
    return page;
}
