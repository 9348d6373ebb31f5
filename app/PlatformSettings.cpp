// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformSettings.h"

#include "AppLog.h"
#include "Profile.h"

#include <QDir>
#include <QRegularExpression>

LinkSettings readLinkSettings(const QString& profilePath) {
    const ProfileFile profile = ProfileFile::load(profilePath.toStdString());
    const auto read = [&](const char* key, const QString& fallback) {
        return QString::fromStdString(profile.read("LINK", key, fallback.toStdString())).trimmed();
    };
    // A bad value costs one warning line and the default, never the start of the program.
    const auto warn = [&](const char* key, const QString& value, const QString& expected,
                          const QString& used) {
        qCWarning(lcApp).noquote() << QStringLiteral("%1: [LINK] %2=%3 is not %4; using %5")
                                          .arg(profilePath, QString::fromLatin1(key), value, expected, used);
    };
    const auto readNumber = [&](const char* key, int fallback, int minimum, const QString& expected) {
        const QString text = read(key, QString::number(fallback));
        bool ok = false;
        const int number = text.toInt(&ok);
        if (ok && number >= minimum)
            return number;
        warn(key, text, expected, QString::number(fallback));
        return fallback;
    };
    const auto readLine = [&](const char* key, auto fallback, const auto& table) {
        const QString text = read(key, lineName(table, fallback));
        if (const auto line = lineFromName(table, text))
            return *line;
        warn(key, text, QStringLiteral("one of ") + lineNames(table), lineName(table, fallback));
        return fallback;
    };

    LinkSettings settings;
    settings.backend = read("BACKEND", settings.backend);
    settings.socketPath = read("SOCKET", {});
    settings.info = read("INFO", {});
    settings.txTimeoutSeconds =
        readNumber("TX_TIMEOUT", settings.txTimeoutSeconds, 0, QStringLiteral("a number of seconds"));

    settings.rigModel =
        readNumber("RIG_MODEL", settings.rigModel, 1, QStringLiteral("a hamlib model number"));
    settings.rigPort = read("RIG_PORT", {});
    settings.rigSpeed =
        readNumber("RIG_SPEED", settings.rigSpeed, 0, QStringLiteral("a serial speed in baud"));
    settings.pttType = readLine("PTT_TYPE", settings.pttType, PttLineNames);
    settings.pttPort = read("PTT_PORT", {});
    settings.dcdType = readLine("DCD_TYPE", settings.dcdType, BusyLineNames);
    settings.dcdPort = read("DCD_PORT", {});

    settings.rxSource = read("RX_SOURCE", {});
    settings.dtmfGapMs =
        readNumber("DTMF_GAP", settings.dtmfGapMs, 1, QStringLiteral("a number of milliseconds"));
    settings.busyLevelDb =
        -readNumber("BUSY_LEVEL", -settings.busyLevelDb, 0, QStringLiteral("a level in dBFS (0 or below)"));
    settings.busyHoldMs =
        readNumber("BUSY_HOLD", settings.busyHoldMs, 0, QStringLiteral("a number of milliseconds"));
    return settings;
}

QString readAudioSink(const QString& profilePath) {
    const ProfileFile profile = ProfileFile::load(profilePath.toStdString());
    return QString::fromStdString(profile.read("AUDIO", "SINK", "")).trimmed();
}

QString defaultProfilePath() {
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are invalid for XDG folders and are ignored, as other programs do.
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        folder = QDir::homePath() + QStringLiteral("/.config");
    return folder + QStringLiteral("/Tempovox.ini");
}

WebSettings readWebSettings(const QString& profilePath) {
    const ProfileFile profile = ProfileFile::load(profilePath.toStdString());
    const auto read = [&](const char* key, const char* fallback) {
        return QString::fromStdString(profile.read("WEB", key, fallback)).trimmed();
    };
    WebSettings settings;
    settings.tokenFile = read("TOKEN_FILE", "");
    for (const QString& host :
         read("HOSTS", "").split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts))
        settings.hosts.append(host.toLower());
    const QString listen = read("LISTEN", "127.0.0.1:8073");
    if (listen.isEmpty()) {
        settings.enabled = false;
        return settings;
    }
    // host:port or [IPv6]:port; the host an address or localhost.
    const auto match =
        QRegularExpression(QStringLiteral("^(?:\\[([^\\]]+)\\]|([^:\\[\\]]+)):(\\d{1,5})$")).match(listen);
    const QString host = match.hasMatch() ? match.captured(1) + match.captured(2) : QString();
    const int port = match.captured(3).toInt();
    QHostAddress address(host);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        address = QHostAddress(QHostAddress::LocalHost);
        settings.hostName = QStringLiteral("localhost");
    }
    if (!match.hasMatch() || address.isNull() || port < 1 || port > 65535) {
        qCWarning(lcApp).noquote() << QStringLiteral("%1: [WEB] LISTEN=%2 is not an address and port such as "
                                                     "127.0.0.1:8073; using 127.0.0.1:8073")
                                          .arg(profilePath, listen);
        settings.listen = QStringLiteral("127.0.0.1:8073");
        settings.address = QHostAddress(QHostAddress::LocalHost);
        return settings;
    }
    settings.listen = listen;
    settings.address = address;
    settings.port = quint16(port);
    return settings;
}
