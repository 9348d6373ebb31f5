#include "PlatformSettings.h"

#include "AppLog.h"
#include "Profile.h"

#include <QDir>

LinkSettings readLinkSettings(const QString& profilePath) {
    const ProfileFile profile = ProfileFile::load(profilePath.toStdString());
    const auto read = [&](const char* key, const QString& fallback) {
        return QString::fromStdString(profile.read("LINK", key, fallback.toStdString())).trimmed();
    };
    LinkSettings settings;
    settings.backend = read("BACKEND", settings.backend);
    settings.socketPath = read("SOCKET", {});
    settings.info = read("INFO", {});
    const QString timeout = read("TX_TIMEOUT", QString::number(settings.txTimeoutSeconds));
    bool ok = false;
    const int seconds = timeout.toInt(&ok);
    if (ok && seconds >= 0)
        settings.txTimeoutSeconds = seconds;
    else
        qCWarning(lcApp).noquote() << QStringLiteral(
                                          "%1: [LINK] TX_TIMEOUT=%2 is not a number of seconds; using %3")
                                          .arg(profilePath, timeout)
                                          .arg(settings.txTimeoutSeconds);
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
